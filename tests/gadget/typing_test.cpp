// The editor's text after real key presses, read the way the note reads it:
// after each return of the event wait.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/gadget/gadget_fixture.h"

namespace {

const auto* const display = xtest::add_display_environment(xtest::WITHOUT_WINDOW_MANAGER);

class Typing : public GadgetTest {
protected:
    void SetUp() override {
        GadgetTest::SetUp();
        toolkit_flush();
    }
    // Runs the toolkit through the event wait and notes the gadget events
    // it hands out, as the note's loop does.
    xtest::Pump pump = [this] {
        while (int32_t code = event_wait(0)) {
            if (code == EVENT_GADGET) events.push_back(Event{code, event_object(), event_window()});
        }
    };
    bool focus_editor(ObjectId gadget) {
        gadget_activate(gadget);
        xtest::XWindow window = xtest::find_window(getpid(), xtest::START_TIMEOUT_MS, pump);
        return window && xtest::focus_window(window, xtest::FOCUS_TIMEOUT_MS, pump);
    }
    bool text_becomes(ObjectId gadget, const std::u16string& expected) {
        return xtest::wait_until([&] { return text_of(gadget) == expected; }, 3000, pump);
    }
    std::vector<Event> events;
};

TEST_F(Typing, TypedTextIncludingNonBmpCharactersReachesTheText) {
    make_editor(0);
    ASSERT_TRUE(focus_editor(0));
    ASSERT_TRUE(xtest::type_text("h\xC3\xA9llo \xF0\x9D\x84\x9E\n\xE2\x82\xAC\xF0\x9F\x98\x80!", pump));
    EXPECT_TRUE(text_becomes(0, u"h\u00e9llo \U0001D11E\n\u20ac\U0001F600!"));
    ASSERT_FALSE(events.empty());
    for (const Event& e : events) EXPECT_EQ(e, (Event{EVENT_GADGET, 0, 0}));
    // Deleting a character outside the plane removes both of its units.
    for (int i = 0; i < 2; i++) ASSERT_TRUE(xtest::press_keys("BackSpace", pump));
    EXPECT_TRUE(text_becomes(0, u"h\u00e9llo \U0001D11E\n\u20ac"));
}

TEST_F(Typing, ReadOnlyEditorRejectsTypingUntilMadeEditable) {
    GadgetObject* record = make_editor(0, EDITOR_READ_ONLY);
    gadget_set_text(0, u"fixed");
    ASSERT_TRUE(focus_editor(0));
    ASSERT_TRUE(xtest::type_text("abc", pump));
    record->ops->set_attribute(record, EDITOR_READ_ONLY, 0);
    ASSERT_TRUE(xtest::press_keys("ctrl+End", pump));
    ASSERT_TRUE(xtest::type_text("d", pump));
    // Keys arrive in order: once "d" is in, "abc" has been turned away.
    EXPECT_TRUE(text_becomes(0, u"fixedd"));
}

}  // namespace
