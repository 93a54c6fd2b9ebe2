// The subcommands' option parsing: splits "--name=value" and "--name value" alike.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class OptionReader {
  public:
    explicit OptionReader(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    bool done() const { return position_ >= arguments_.size(); }
    // The next argument; options come back without their value when it was attached with '='.
    std::string next();
    bool isOption(const std::string& argument) const {
        return argument.size() > 2 && argument.rfind("--", 0) == 0;
    }
    // The value of the option just read; throws UsageError when it is missing.
    std::string value(const std::string& option);

  private:
    const std::vector<std::string>& arguments_;
    std::size_t position_ = 0;
    std::string attached_;
    bool hasAttached_ = false;
};
