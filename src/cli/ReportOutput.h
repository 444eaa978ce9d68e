#pragma once
// Writing a headless report out. A report that cannot be written (a closed or broken
// standard output, a full disk) must not look like success.
#include <string>

namespace sorvel::ReportOutput {

/// The status of a command whose reader went away: 128 + SIGPIPE, as the shell reports
/// a program that the signal ended.
inline constexpr int kReaderGone = 141;

/// Writes all of `text` to standard output. When the reader has gone away (a broken
/// pipe) returns kReaderGone without a word; on any other failure prints "sorvel: could
/// not write the report: <reason>" on standard error and returns 1; otherwise 0.
int emit(const std::string &text);
/// Writes all of `text` to standard error in one go where the system allows; failures are
/// ignored (there is nowhere left to report them).
void diagnostic(const std::string &text);

} // namespace sorvel::ReportOutput
