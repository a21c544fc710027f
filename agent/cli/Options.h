// The command line of lptwdmio.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/backends/BackendSelect.h"

namespace agent {

enum class Command { Help, Serve, Read, Write, SetStatus, List };

struct Options {
    Command command = Command::Help;
    BackendConfig backend;
    std::string tracePath;
    std::string socketPath;  // empty: the default rule
    bool exitWhenIdle = false;
    bool detach = false;
    bool json = false;  // list: the same for scripts
    std::uint16_t address = 0;
    std::uint8_t value = 0;
};

extern const char* const UsageText;

// Hex with or without 0x, at most maxValue.
std::optional<unsigned> ParseHex(const std::string& text, unsigned maxValue);

// A parsed command line, or nullopt with a message for the user.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// The socket a client talks to: `given` (--socket), else the default place.
// Empty, with the reason in `error`, when there is none.
std::string ClientSocketPath(const std::string& given, std::string& error);

// Why a client could not reach the agent on `path`, for the user: nobody
// listening, or an agent of another user (named), or the errno's words.
std::string ConnectFailure(const std::string& path, int error);

// The port code that reaches an I/O address, if any of the 24 does.
std::optional<std::uint8_t> PortCodeFor(std::uint16_t address);

}  // namespace agent
