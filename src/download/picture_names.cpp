#include "download/picture_names.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "text/utf8.h"

namespace gathrix {

namespace {
// Whether the character at name[pos] may not stand in a file name: a path
// separator, a control character (C1 controls as UTF-8 included) or a stray
// byte 0x80 to 0x9F, which some terminals take for a C1 control. Other bytes
// that are no UTF-8, such as a Latin-1 letter, are kept.
bool IsUnsafe(std::string_view name, std::size_t pos) {
    const auto byte = static_cast<unsigned char>(name[pos]);
    if (byte == '/' || byte == '\\' || byte < 0x20 || byte == 0x7f) return true;
    if (IsC1Control(name, pos)) return true;
    return byte >= 0x80 && byte <= 0x9f && Utf8CharacterLength(name, pos) == 0;
}

// The longest file name the file systems we run on take, in bytes.
constexpr std::size_t kLongestName = 255;

// name cut to kLongestName bytes: the end of the stem goes, the extension (up to
// 16 bytes) stays, and no UTF-8 character is cut in two.
std::string Shortened(std::string name) {
    std::string extension;
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0 && name.size() - dot <= 16) {
        extension = name.substr(dot);
        name.resize(dot);
    }
    return std::string(CutUtf8(name, kLongestName - extension.size())) + extension;
}

}  // namespace

std::string SafeLocalName(std::string_view name) {
    if (name.empty() || name == ".") return "_";
    if (name == "..") return "__";
    std::string safe;
    safe.reserve(name.size());
    for (std::size_t pos = 0; pos < name.size();) {
        if (IsUnsafe(name, pos)) {
            safe += '_';
            pos += IsC1Control(name, pos) ? 2 : 1;  // one "_" for the character
        } else {
            const std::size_t length = std::max<std::size_t>(Utf8CharacterLength(name, pos), 1);
            safe.append(name.substr(pos, length));
            pos += length;
        }
    }
    // The names of the program's own files in an album folder start so; a
    // picture never takes them.
    if (safe.starts_with(".gathrix-")) safe.front() = '_';
    return safe.size() > kLongestName ? Shortened(std::move(safe)) : safe;
}

std::string NumberedName(std::string_view name, std::int64_t number) {
    const std::string suffix = "-" + std::to_string(number);
    const std::size_t dot = name.rfind('.');
    std::string stem(name);
    std::string extension;
    if (dot != std::string_view::npos && dot > 0) {
        stem = std::string(name.substr(0, dot));
        extension = std::string(name.substr(dot));
    }
    if (extension.size() + suffix.size() >= kLongestName) {
        // An "extension" that long is part of the name: number the whole.
        stem += extension;
        extension.clear();
    }
    return std::string(CutUtf8(stem, kLongestName - suffix.size() - extension.size())) + suffix + extension;
}

KeptBodyNames KeptBodyNamesFor(const std::string& name) {
    constexpr std::string_view kBody = ".gathrix-partial-";
    constexpr std::string_view kRecord = ".gathrix-info-";  // shorter: whatever body fits, its record does
    constexpr std::size_t kLongestStem = kLongestName - kBody.size();
    std::string stem = name;
    if (stem.size() >= kLongestStem) {
        // Cut, padded to its full length, and told apart by a hash: exactly
        // kLongestStem bytes, which no stem kept whole has.
        std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
        for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
        const std::size_t kept = kLongestStem - 17;
        stem = std::string(CutUtf8(name, kept));
        stem.resize(kept, '_');
        stem += "-" + std::string(hex);
    }
    return {std::string(kBody) + stem, std::string(kRecord) + stem};
}

std::string PictureNames::NameFor(const std::string& address, const std::string& safe_name) {
    if (const auto own = names_.find(address); own != names_.end()) return own->second;
    std::int64_t& first_free = first_free_.try_emplace(safe_name, 1).first->second;
    for (std::int64_t number = first_free;; ++number) {
        std::string name = number == 1 ? safe_name : NumberedName(safe_name, number);
        // A numbered name may also be another picture's own safe name
        // (IMG-2.JPG beside two IMG.JPG): the search goes past it.
        if (owners_.try_emplace(name, address).second) {
            first_free = number + 1;
            names_.emplace(address, name);
            return name;
        }
    }
}

void PictureNames::Reserve(const std::string& address, const std::string& name) {
    if (names_.contains(address) || !owners_.try_emplace(name, address).second) return;
    names_.emplace(address, name);
}

}  // namespace gathrix
