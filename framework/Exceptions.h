// The error kinds of the program's small framework. Plain C++ so the Qt-free core
// can raise them; the application object shows what() in the standard error box.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

class EBitsError : public Exception {
    using Exception::Exception;
};

class EConvertError : public Exception {
    using Exception::Exception;
};

class EThread : public Exception {
    using Exception::Exception;
};

class EIniFileException : public Exception {
    using Exception::Exception;
};
