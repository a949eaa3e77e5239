// The event wait against a real toolkit main loop on a private display: when
// the toolkit runs, how long a timed wait takes, and when what an event
// carried is released.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <chrono>

#include "runtime/core/memory.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "tests/support/xtest.h"

namespace {

const auto* const display = xtest::add_display_environment(xtest::WITHOUT_WINDOW_MANAGER);

char program_name[] = "toolkit_test";
char* arguments[] = {program_name, nullptr};
int argument_count = 1;
char** argument_vector = arguments;

class EventWait : public ::testing::Test {
protected:
    void SetUp() override {
        toolkit_start(&argument_count, &argument_vector);
        events_start();
        toolkit_flush();
    }
    void TearDown() override { EXPECT_EQ(log.problems(), ""); }
    xtest::ToolkitLogWatch log;
};

int idle_runs;
gboolean count_idle(gpointer) {
    idle_runs++;
    return FALSE;
}

using Clock = std::chrono::steady_clock;
long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST_F(EventWait, QueuedEventComesFirstAndTheToolkitRunsOnlyWhenTheQueueIsEmpty) {
    idle_runs = 0;
    g_idle_add(count_idle, nullptr);
    event_post(EVENT_GADGET, 5, 2, 0);
    EXPECT_EQ(event_wait(-1), EVENT_GADGET);
    EXPECT_EQ(idle_runs, 0);
    EXPECT_EQ(event_object(), 5);
    EXPECT_EQ(event_window(), 2);
    // Pending work that posts nothing is toolkit activity, once.
    EXPECT_EQ(event_wait(0), EVENT_TOOLKIT_ACTIVITY);
    EXPECT_EQ(idle_runs, 1);
    EXPECT_EQ(event_wait(0), EVENT_NONE);
    EXPECT_EQ(event_object(), 0);
    EXPECT_EQ(event_window(), -1);
    EXPECT_EQ(event_data(), 0);
}

gboolean post_from_toolkit(gpointer) {
    event_post(EVENT_REPAINT, 0, 8, 0);
    return FALSE;
}

TEST_F(EventWait, BlockingWaitReturnsWhatTheIterationPosted) {
    g_idle_add(post_from_toolkit, nullptr);
    EXPECT_EQ(event_wait(), EVENT_REPAINT);
    EXPECT_EQ(event_window(), 8);
}

TEST_F(EventWait, TimedWaitWithoutInputEndsJustAfterTheTimeout) {
    auto start = Clock::now();
    EXPECT_EQ(event_wait(50), EVENT_NONE);
    long took = ms_since(start);
    EXPECT_GT(took, 50);
    EXPECT_LT(took, 150);
}

TEST_F(EventWait, TimedWaitEndsEarlyWhenInputArrives) {
    g_timeout_add(10, post_from_toolkit, nullptr);
    auto start = Clock::now();
    EXPECT_EQ(event_wait(2000), EVENT_REPAINT);
    long took = ms_since(start);
    EXPECT_GE(took, 9);
    EXPECT_LT(took, 500);
}

TEST(EventWaitAccessors, ReadZeroBeforeTheFirstWait) {
    EXPECT_EQ(event_object(), 0);
    EXPECT_EQ(event_window(), 0);
    EXPECT_EQ(event_data(), 0);
}

std::vector<intptr_t> released;
void record_release(intptr_t extra) { released.push_back(extra); }

TEST_F(EventWait, ExtraIsReleasedOnceAtTheStartOfTheNextWait) {
    released.clear();
    event_post_full(EVENT_GADGET, 1, 1, 0, 77, record_release);
    event_post_full(EVENT_REPAINT, 0, 1, 0, 0, record_release);
    EXPECT_EQ(event_wait(0), EVENT_GADGET);
    EXPECT_TRUE(released.empty());
    EXPECT_EQ(event_wait(0), EVENT_REPAINT);
    EXPECT_EQ(released, std::vector<intptr_t>{77});
    event_wait(0);
    event_wait(0);
    EXPECT_EQ(released, std::vector<intptr_t>{77});  // extra 0 is never released
}

TransferRecord* make_transfer() {
    auto* record = static_cast<TransferRecord*>(mem_alloc(sizeof(TransferRecord)));
    GtkSelectionData model{};
    model.length = -1;
    record->selection = gtk_selection_data_copy(&model);
    return record;
}

// The record is freed by the next wait, whatever it returns; the sanitizer
// build reports it if it is not.
TEST_F(EventWait, TransferRecordIsHeldUntilTheNextWait) {
    for (int32_t code : {EVENT_TRANSFER_A, EVENT_TRANSFER_B}) {
        event_post(code, 0, 1, reinterpret_cast<intptr_t>(make_transfer()));
        EXPECT_EQ(event_wait(0), code);
        EXPECT_EQ(event_data(), 0);
    }
    EXPECT_EQ(event_wait(0), EVENT_NONE);
}

// The first start hands the arguments to the toolkit, which takes out its own
// options; a second start must not initialise it again.
TEST(ToolkitStart, InitialisesTheToolkitOnce) {
    char first_option[] = "--class=first";
    char* first[] = {program_name, first_option, nullptr};
    int count = 2;
    char** vector = first;
    toolkit_start(&count, &vector);
    EXPECT_EQ(count, 1);
    char second_option[] = "--class=second";
    char* second[] = {program_name, second_option, nullptr};
    count = 2;
    vector = second;
    toolkit_start(&count, &vector);
    EXPECT_EQ(count, 2);
}

}  // namespace
