#include "platform/profile/profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system/system.h"

namespace {

// An INI document kept line by line, so that a write leaves every other line as it was.
struct Document {
    std::vector<std::string> lines;
    bool crlf = false;
};

// Serialises read-modify-write cycles of this process.
std::mutex& FileMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string ResolvePath(const char* fileName) {
    if (strchr(fileName, '/')) {
        return fileName;
    }
    char directory[4096];
    if (GetWindowsDirectoryA(directory, sizeof directory) == 0) {
        return fileName;
    }
    return std::string(directory) + "/" + fileName;
}

// Texts that stand in for files that do not exist, by path; guarded by FileMutex.
std::map<std::string, std::string>& StandIns() {
    static std::map<std::string, std::string> standIns;
    return standIns;
}

Document Parse(std::istream& in) {
    Document document;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            document.crlf = true;
        }
        document.lines.push_back(line);
    }
    return document;
}

Document Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const auto standIn = StandIns().find(path);
    if (!in.is_open() && standIn != StandIns().end()) {
        std::istringstream text(standIn->second);
        return Parse(text);
    }
    return Parse(in);
}

// The name of a "[section]" line.
std::optional<std::string_view> SectionName(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() != '[') {
        return std::nullopt;
    }
    const auto close = trimmed.find(']');
    return Trim(trimmed.substr(1, close == std::string_view::npos ? close : close - 1));
}

// The key of a "key=value" line (comment lines have none).
std::optional<std::string_view> KeyName(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') {
        return std::nullopt;
    }
    const auto equals = trimmed.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(trimmed.substr(0, equals));
}

std::string_view Value(std::string_view line) {
    std::string_view value = Trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

// Lines [begin, end) of the first section of that name: the header line and its body.
struct SectionRange {
    size_t header;
    size_t end;
};

std::optional<SectionRange> FindSection(const Document& document, std::string_view section) {
    for (size_t i = 0; i < document.lines.size(); ++i) {
        const auto name = SectionName(document.lines[i]);
        if (!name || !SameIgnoringCase(*name, section)) {
            continue;
        }
        size_t end = i + 1;
        while (end < document.lines.size() && !SectionName(document.lines[end])) {
            ++end;
        }
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const Document& document, const SectionRange& range,
                              std::string_view key) {
    for (size_t i = range.header + 1; i < range.end; ++i) {
        const auto name = KeyName(document.lines[i]);
        if (name && SameIgnoringCase(*name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

// Copies zero-terminated names ended by an empty name; a list that does not fit is cut and still
// ends with two zeros. Returns the characters copied without the final zero.
DWORD CopyNameList(const std::vector<std::string>& names, char* buffer, DWORD size) {
    if (size < 2) {
        if (size == 1) {
            buffer[0] = '\0';
        }
        return 0;
    }
    size_t at = 0;
    for (const std::string& name : names) {
        if (at + name.size() + 1 > size - 1) {
            const size_t room = size - 2 - at;
            memcpy(buffer + at, name.data(), room);
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        memcpy(buffer + at, name.c_str(), name.size() + 1);
        at += name.size() + 1;
    }
    buffer[at] = '\0';
    return static_cast<DWORD>(at);
}

DWORD CopyValue(std::string_view value, char* buffer, DWORD size) {
    const size_t copied = std::min<size_t>(value.size(), size - 1);
    std::copy_n(value.begin(), copied, buffer);
    buffer[copied] = '\0';
    return static_cast<DWORD>(copied);
}

std::vector<std::string> SectionNames(const Document& document) {
    std::vector<std::string> names;
    for (const std::string& line : document.lines) {
        if (const auto name = SectionName(line)) {
            names.emplace_back(*name);
        }
    }
    return names;
}

std::vector<std::string> KeyNames(const Document& document, const SectionRange& range) {
    std::vector<std::string> names;
    for (size_t i = range.header + 1; i < range.end; ++i) {
        if (const auto name = KeyName(document.lines[i])) {
            names.emplace_back(*name);
        }
    }
    return names;
}

// Writes a temporary file beside the target and renames it over the target, so that a crash
// leaves either the old file or the new one.
bool Save(const std::string& path, const Document& document) {
    std::string text;
    const char* newline = document.crlf ? "\r\n" : "\n";
    for (const std::string& line : document.lines) {
        text += line;
        text += newline;
    }
    std::string temporary = path + ".XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        return false;
    }
    bool written = fchmod(descriptor, 0644) == 0;
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t put = write(descriptor, text.data() + done, text.size() - done);
        written = put > 0;
        done += written ? size_t(put) : 0;
    }
    written = fsync(descriptor) == 0 && written;
    written = close(descriptor) == 0 && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

void SetKey(Document& document, std::string_view section, std::string_view key,
            std::string_view value) {
    const std::string line = std::string(key) + "=" + std::string(value);
    const auto range = FindSection(document, section);
    if (!range) {
        if (!document.lines.empty() && !Trim(document.lines.back()).empty()) {
            document.lines.emplace_back();
        }
        document.lines.push_back("[" + std::string(section) + "]");
        document.lines.push_back(line);
        return;
    }
    if (const auto existing = FindKey(document, *range, key)) {
        const std::string keptName(*KeyName(document.lines[*existing]));
        document.lines[*existing] = keptName + "=" + std::string(value);
        return;
    }
    // After the last non-blank line of the section, so blank separators stay between sections.
    size_t insert = range->end;
    while (insert > range->header + 1 && Trim(document.lines[insert - 1]).empty()) {
        --insert;
    }
    document.lines.insert(document.lines.begin() + long(insert), line);
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* fileName) {
    if (!buffer || size == 0 || !fileName) {
        return 0;
    }
    std::lock_guard lock(FileMutex());
    const Document document = Load(ResolvePath(fileName));
    const std::string_view fallback = defaultValue ? std::string_view(defaultValue) : "";
    const std::string trimmedDefault(fallback.substr(0, fallback.find_last_not_of(" \t") + 1));
    if (!section) {
        return CopyNameList(SectionNames(document), buffer, size);
    }
    const auto range = FindSection(document, section);
    if (!key) {
        return range ? CopyNameList(KeyNames(document, *range), buffer, size)
                     : CopyNameList({trimmedDefault}, buffer, size);
    }
    if (range) {
        if (const auto line = FindKey(document, *range, key)) {
            return CopyValue(Value(document.lines[*line]), buffer, size);
        }
    }
    return CopyValue(trimmedDefault, buffer, size);
}

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                           const char* fileName) {
    char value[64];
    if (!section || !key ||
        GetPrivateProfileStringA(section, key, "", value, sizeof value, fileName) == 0) {
        return static_cast<UINT>(defaultValue);
    }
    const char* c = value;
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+') {
        ++c;
    }
    uint32_t number = 0;
    for (; *c >= '0' && *c <= '9'; ++c) {
        number = number * 10 + uint32_t(*c - '0');  // wraps like the platform's conversion
    }
    return negative ? 0u - number : number;
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
    if (!section || !fileName) {
        return FALSE;
    }
    std::lock_guard lock(FileMutex());
    const std::string path = ResolvePath(fileName);
    Document document = Load(path);
    if (!key) {
        if (const auto range = FindSection(document, section)) {
            document.lines.erase(document.lines.begin() + long(range->header),
                                 document.lines.begin() + long(range->end));
        }
    } else if (!value) {
        const auto range = FindSection(document, section);
        const auto line = range ? FindKey(document, *range, key) : std::nullopt;
        if (line) {
            document.lines.erase(document.lines.begin() + long(*line));
        }
    } else {
        SetKey(document, section, key, value);
    }
    return Save(path, document) ? TRUE : FALSE;
}

namespace zedadu::profile {

void SetStandInForMissingFile(const char* fileName, const std::string& text) {
    std::lock_guard lock(FileMutex());
    const std::string path = ResolvePath(fileName);
    if (text.empty()) {
        StandIns().erase(path);
    } else {
        StandIns()[path] = text;
    }
}

}  // namespace zedadu::profile
