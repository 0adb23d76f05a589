#include "text/utf8.h"

#include <algorithm>

namespace gathrix {

namespace {

unsigned char ByteAt(std::string_view text, std::size_t pos) { return static_cast<unsigned char>(text[pos]); }

bool InRange(std::string_view text, std::size_t pos, unsigned char low, unsigned char high) {
    return pos < text.size() && ByteAt(text, pos) >= low && ByteAt(text, pos) <= high;
}

void AppendEscaped(std::string& out, unsigned char byte) {
    constexpr const char* kHex = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

}  // namespace

std::size_t Utf8CharacterLength(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return 0;
    const unsigned char lead = ByteAt(text, pos);
    if (lead < 0x80) return 1;
    // The range of the byte after the lead excludes overlong forms (E0, F0),
    // surrogates (ED) and values above U+10FFFF (F4); the bytes after that are
    // plain continuation bytes.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (!InRange(text, pos + 1, low, high)) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!InRange(text, pos + i, 0x80, 0xBF)) return 0;
    }
    return length;
}

bool IsC1Control(std::string_view text, std::size_t pos) {
    return pos < text.size() && ByteAt(text, pos) == 0xC2 && InRange(text, pos + 1, 0x80, 0x9F);
}

std::string_view CutUtf8(std::string_view text, std::size_t max_bytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + std::max<std::size_t>(Utf8CharacterLength(text, end), 1);
        if (next > max_bytes) break;
        end = next;
    }
    return text.substr(0, end);
}

std::string EscapeForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const unsigned char byte = ByteAt(text, pos);
        const std::size_t length = Utf8CharacterLength(text, pos);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            AppendEscaped(out, byte);
            ++pos;
        } else if (IsC1Control(text, pos)) {
            AppendEscaped(out, byte);
            AppendEscaped(out, ByteAt(text, pos + 1));
            pos += 2;
        } else {
            out.append(text.substr(pos, length));
            pos += length;
        }
    }
    return out;
}

}  // namespace gathrix
