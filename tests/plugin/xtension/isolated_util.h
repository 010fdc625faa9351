// Runs a piece of a test in a child process, for tests that end
// process-wide state for good (the callback manager after shut-down, the
// host link after registration).
#pragma once

#include <functional>
#include <string>

// Runs `body` in a forked child and returns the text it returned; a child
// that does not end normally gives "child failed: <status>".
std::string InChild(const std::function<std::string()>& body);
