#include "platform/ProfileText.h"

#include <cstring>
#include <vector>

namespace platform::profile_text {
namespace {

enum class Kind { Blank, Comment, Header, Key };

// One line of the text; positions are offsets into it. `next` is where the following
// line starts (after this line's break), `end` where the line's own content ends.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
    Kind kind = Kind::Blank;
    std::string_view name;  // section or key name, trimmed
    bool hasValue = false;  // the key line has an '='
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};

bool IsLineBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

std::string_view TrimLine(std::string_view s) {
    while (!s.empty() && IsLineBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsLineBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Arguments lose their spaces only; a tab is part of the name.
std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

Line ParseLine(std::string_view text, std::size_t begin) {
    Line line;
    line.begin = begin;
    std::size_t end = begin;
    while (end < text.size() && !IsBreak(text[end])) {
        ++end;
    }
    line.end = end;
    line.next = end;
    if (end < text.size()) {
        line.next = (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? end + 2
                                                                                          : end + 1;
    }
    std::string_view content = TrimLine(text.substr(begin, end - begin));
    if (content.empty()) {
        return line;
    }
    std::size_t contentBegin = static_cast<std::size_t>(content.data() - text.data());
    std::size_t contentEnd = contentBegin + content.size();
    if (content.front() == ';') {
        line.kind = Kind::Comment;
    } else if (content.front() == '[') {
        // The name ends at the first ']'; without one the rest of the line is the name.
        line.kind = Kind::Header;
        std::string_view inner = content.substr(1);
        inner = inner.substr(0, inner.find(']'));
        line.name = TrimLine(inner);
    } else {
        line.kind = Kind::Key;
        std::size_t eq = content.find('=');
        line.name = TrimLine(content.substr(0, eq));
        if (eq == std::string_view::npos) {
            line.valueBegin = line.valueEnd = contentEnd;
        } else {
            line.hasValue = true;
            std::size_t v = contentBegin + eq + 1;
            while (v < contentEnd && IsLineBlank(text[v])) {
                ++v;
            }
            line.valueBegin = v;
            line.valueEnd = contentEnd;
        }
    }
    return line;
}

std::vector<Line> ParseLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        lines.push_back(ParseLine(text, pos));
        pos = lines.back().next;
    }
    return lines;
}

// Index of the header of the first section called `name`, or lines.size().
std::size_t FindSection(const std::vector<Line>& lines, std::string_view name,
                        std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i].kind == Kind::Header && SameName(lines[i].name, name)) {
            return i;
        }
    }
    return lines.size();
}

// One past the last line of the section whose header is at `header`.
std::size_t SectionEnd(const std::vector<Line>& lines, std::size_t header) {
    std::size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != Kind::Header) {
        ++i;
    }
    return i;
}

std::size_t FindKey(const std::vector<Line>& lines, std::size_t header, std::string_view key) {
    std::size_t end = SectionEnd(lines, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines[i].kind == Kind::Key && SameName(lines[i].name, key)) {
            return i;
        }
    }
    return lines.size();
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

std::uint32_t CopyOut(std::string_view s, char* buffer, std::uint32_t size) {
    std::size_t n = s.size() < size - 1 ? s.size() : size - 1;
    if (n > 0) {
        std::memcpy(buffer, s.data(), n);
    }
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

// A list of NUL-terminated names; when it doesn't fit, the last name is cut and
// followed by two NULs, and the result is size - 2.
std::uint32_t CopyList(const std::vector<std::string_view>& names, char* buffer,
                       std::uint32_t size) {
    std::string all;
    for (std::string_view name : names) {
        all.append(name);
        all.push_back('\0');
    }
    if (all.size() + 1 <= size) {
        std::memcpy(buffer, all.data(), all.size());
        buffer[all.size()] = '\0';
        if (all.empty() && size > 1) {
            buffer[1] = '\0';
        }
        return static_cast<std::uint32_t>(all.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, all.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

}  // namespace

std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
    std::vector<Line> lines = ParseLines(text);
    std::size_t header = FindSection(lines, TrimSpaces(section));
    if (header == lines.size()) {
        return std::nullopt;
    }
    std::size_t at = FindKey(lines, header, TrimSpaces(key));
    if (at == lines.size() || !lines[at].hasValue) {
        return std::nullopt;
    }
    const Line& line = lines[at];
    return std::string(Unquote(text.substr(line.valueBegin, line.valueEnd - line.valueBegin)));
}

std::uint32_t Get(std::optional<std::string_view> text, const char* section, const char* key,
                  const char* defaultValue, char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::string_view content = text.value_or(std::string_view());
    if (section == nullptr || key == nullptr) {
        std::vector<Line> lines = ParseLines(content);
        std::vector<std::string_view> names;
        if (section == nullptr) {
            for (const Line& line : lines) {
                if (line.kind == Kind::Header) {
                    names.push_back(line.name);
                }
            }
        } else if (std::size_t header = FindSection(lines, TrimSpaces(section));
                   header < lines.size()) {
            std::size_t end = SectionEnd(lines, header);
            for (std::size_t i = header + 1; i < end; ++i) {
                if (lines[i].kind == Kind::Key) {
                    names.push_back(lines[i].name);
                }
            }
        }
        return CopyList(names, buffer, size);
    }
    if (text) {
        if (std::optional<std::string> value = FindValue(*text, section, key)) {
            return CopyOut(*value, buffer, size);
        }
    }
    std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
    while (!fallback.empty() && fallback.back() == ' ') {
        fallback.remove_suffix(1);
    }
    return CopyOut(fallback, buffer, size);
}

std::string Apply(std::string_view text, std::string_view section, const char* key,
                  const char* value) {
    section = TrimSpaces(section);
    std::vector<Line> lines = ParseLines(text);
    std::size_t header = FindSection(lines, section);
    std::string result(text);

    if (key == nullptr) {
        // Every section of the name goes, so that none of it can be found afterwards.
        std::string kept;
        std::size_t copied = 0;
        bool found = false;
        for (std::size_t h = header; h < lines.size(); h = FindSection(lines, section, h + 1)) {
            std::size_t end = SectionEnd(lines, h);
            std::size_t cutEnd = end < lines.size() ? lines[end].begin : text.size();
            kept.append(text.substr(copied, lines[h].begin - copied));
            copied = cutEnd;
            found = true;
        }
        if (!found) {
            return result;
        }
        kept.append(text.substr(copied));
        return kept;
    }

    std::string_view name = TrimSpaces(key);
    std::size_t at = header < lines.size() ? FindKey(lines, header, name) : lines.size();
    if (value == nullptr) {
        if (at < lines.size()) {
            result.erase(lines[at].begin, lines[at].next - lines[at].begin);
        }
        return result;
    }

    std::string_view newValue = value;
    if (at < lines.size()) {
        const Line& line = lines[at];
        if (!line.hasValue) {
            // Built in two steps: GCC 12 warns falsely on "literal" + std::string&&.
            std::string assignment(1, '=');
            assignment.append(newValue);
            result.insert(line.valueEnd, assignment);
        } else if (text.substr(line.valueBegin, line.valueEnd - line.valueBegin) != newValue) {
            result.replace(line.valueBegin, line.valueEnd - line.valueBegin, newValue);
        }
        return result;
    }

    std::string entry = std::string(name) + "=" + std::string(newValue) + "\r\n";
    if (header < lines.size()) {
        // After the last key line of the section; comments and blank lines below it
        // stay below the new key.
        std::size_t after = header;
        std::size_t end = SectionEnd(lines, header);
        for (std::size_t i = header + 1; i < end; ++i) {
            if (lines[i].kind == Kind::Key) {
                after = i;
            }
        }
        const Line& line = lines[after];
        std::string insert = line.next == line.end ? "\r\n" + entry : entry;
        result.insert(line.next, insert);
        return result;
    }

    if (!result.empty() && !IsBreak(result.back())) {
        result += "\r\n";
    }
    result += '[';
    result.append(section);
    result += "]\r\n";
    result += entry;
    return result;
}

}  // namespace platform::profile_text
