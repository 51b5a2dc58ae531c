// The one error type of the command's library: its message names the problem
// and is printed as it is.
#pragma once

#include <stdexcept>
#include <string>

namespace cli {

class CliError : public std::runtime_error {
public:
    explicit CliError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace cli
