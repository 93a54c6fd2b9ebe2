#include "OptionReader.h"

#include "Errors.h"

std::string OptionReader::next() {
    std::string argument = arguments_[position_++];
    hasAttached_ = false;
    auto equals = argument.find('=');
    if (isOption(argument) && equals != std::string::npos) {
        attached_ = argument.substr(equals + 1);
        hasAttached_ = true;
        argument.resize(equals);
    }
    return argument;
}

std::string OptionReader::value(const std::string& option) {
    if (hasAttached_) {
        hasAttached_ = false;
        return attached_;
    }
    if (done()) throw UsageError(option + " needs a value");
    return arguments_[position_++];
}
