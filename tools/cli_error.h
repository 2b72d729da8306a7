// The one way the command reports a problem that the user can fix: a bad
// option, an unreadable input, an unwritable output. main() prints the text
// after "quorvane: " and exits with the status.
#pragma once

#include <stdexcept>
#include <string>

namespace qvcli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an input, output or render step failed
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

class CliError : public std::runtime_error {
public:
    explicit CliError(const std::string& message, int status = kExitFailure)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// A command-line mistake: reported with the usage status.
inline CliError UsageError(const std::string& message) { return CliError(message, kExitUsage); }

}  // namespace qvcli
