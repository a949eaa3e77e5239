// GoogleTest glue for the headless X harness (xserver.h).
//
// A test binary that needs a display registers the environment once, at
// namespace scope:
//
//     const auto* const display = xtest::add_display_environment(xtest::WITH_WINDOW_MANAGER);
//
// Every test case runs in its own process (gtest_discover_tests), so each
// gets its own server; the environment ends it after the test, also when the
// test fails. Toolkit tests also hold a ToolkitLogWatch, so that a critical
// or a warning the toolkit logs fails the test instead of scrolling past.
#pragma once

#include <glib.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/support/xserver.h"

namespace xtest {

constexpr bool WITH_WINDOW_MANAGER = true;
constexpr bool WITHOUT_WINDOW_MANAGER = false;

class DisplayEnvironment : public ::testing::Environment {
public:
    explicit DisplayEnvironment(bool window_manager) : window_manager_(window_manager) {}
    void SetUp() override;
    void TearDown() override;

private:
    bool window_manager_;
};

::testing::Environment* add_display_environment(bool window_manager);

// Collects GLib log messages of level warning and worse (from the toolkit or
// anyone else logging through GLib) while it lives; they are still printed.
class ToolkitLogWatch {
public:
    ToolkitLogWatch();
    ~ToolkitLogWatch();
    ToolkitLogWatch(const ToolkitLogWatch&) = delete;
    ToolkitLogWatch& operator=(const ToolkitLogWatch&) = delete;
    // The collected messages, one a line; empty when there were none.
    const std::string& problems() const { return problems_; }

private:
    static void handle(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer watch);
    std::string problems_;
    GLogFunc previous_;
};

}  // namespace xtest
