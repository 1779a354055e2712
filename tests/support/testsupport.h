// Helpers shared by the test folders.
#pragma once
#include <string>

class TComponent;

namespace testsupport {

// A fresh, empty folder for one test's files, under the process's own
// /tmp/kiv7-tests-<pid>, which is removed when the process's tests end.
std::string TempDir(const std::string& name);

// Runs a shell command; returns its exit status and puts its standard output in *out.
int RunCommand(const std::string& command, std::string* out);

// Put before a command run under strace: the leak checker of a sanitizer
// build cannot work under ptrace.
inline constexpr const char* kNoLeakCheck = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 ";

// Reads a whole file as bytes; writes bytes to a file.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// A component written to its stream and shown in the text form, and a text
// form read into an existing root (through the binary form, as a stored form
// is read).
std::string FormText(TComponent* root);
void ReadFormText(const std::string& text, TComponent* root);

// The independent reader used to check our files (Debian's interpreter, not a virtualenv).
inline const char* Python() { return "/usr/bin/python3"; }

}  // namespace testsupport
