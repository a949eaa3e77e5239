// GoogleTest glue for the X harness: the display environment and the GLib
// log watch.
#include "tests/support/xtest.h"

#include <cstdio>
#include <cstdlib>

namespace xtest {

// A failed assertion here would only make GoogleTest skip every test, which
// CTest reports as skipped rather than failed: a broken display must fail.
void DisplayEnvironment::SetUp() {
    if (start_display(window_manager_)) return;
    fprintf(stderr, "no private display: %s\n", last_error().c_str());
    std::exit(1);
}

void DisplayEnvironment::TearDown() { stop_display(); }

::testing::Environment* add_display_environment(bool window_manager) {
    return ::testing::AddGlobalTestEnvironment(new DisplayEnvironment(window_manager));
}

// GLib's own default handler takes no data, so restoring it needs none.
ToolkitLogWatch::ToolkitLogWatch() : previous_(g_log_set_default_handler(handle, this)) {}

ToolkitLogWatch::~ToolkitLogWatch() { g_log_set_default_handler(previous_, nullptr); }

void ToolkitLogWatch::handle(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer watch) {
    g_log_default_handler(domain, level, message, nullptr);
    if (!(level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING))) return;
    auto* self = static_cast<ToolkitLogWatch*>(watch);
    self->problems_ += std::string(domain ? domain : "") + ": " + (message ? message : "") + "\n";
}

}  // namespace xtest
