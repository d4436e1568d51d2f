#pragma once

// The three test switches: "--self-test", "--scroll-check" and "--demo-labels", each with
// "--fixture", run inside the launched program against its real navigation service.

namespace tovrel::shell {
class AppDelegate;
}

namespace tovrel::selftest {

// Registers the runs with the delegate; they print each check's line on standard output and
// problems on standard error.
void registerSelfTests(shell::AppDelegate& delegate);

}  // namespace tovrel::selftest
