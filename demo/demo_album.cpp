#include "demo_album.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace gathrix::demo {

namespace {

// --- PNG writing: RGB, 8 bits per channel, the image data in stored (not
// compressed) deflate blocks, which every PNG reader accepts.

const std::array<std::uint32_t, 256>& CrcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t c = 0xffffffffu;
    for (unsigned char b : bytes) c = CrcTable()[(c ^ b) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

std::uint32_t Adler32(const std::string& bytes) {
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (unsigned char ch : bytes) {
        a = (a + ch) % 65521u;
        b = (b + a) % 65521u;
    }
    return (b << 16) | a;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xff));
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
    PutBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type) + data;
    png += typed;
    PutBigEndian(png, Crc32(typed));
}

// A zlib stream holding raw in stored blocks.
std::string StoredZlib(const std::string& raw) {
    std::string z = "\x78\x01";
    std::size_t at = 0;
    do {
        const std::size_t len = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + len == raw.size();
        z.push_back(last ? '\x01' : '\x00');
        z.push_back(static_cast<char>(len & 0xff));
        z.push_back(static_cast<char>(len >> 8));
        z.push_back(static_cast<char>(~len & 0xff));
        z.push_back(static_cast<char>((~len >> 8) & 0xff));
        z.append(raw, at, len);
        at += len;
    } while (at < raw.size());
    PutBigEndian(z, Adler32(raw));
    return z;
}

std::string Png(int width, int height, const std::string& rgb_rows) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    PutBigEndian(header, static_cast<std::uint32_t>(width));
    PutBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", StoredZlib(rgb_rows));
    PutChunk(png, "IEND", "");
    return png;
}

unsigned char Channel(double v) { return static_cast<unsigned char>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

}  // namespace

std::string LandscapePng(int index, int width, int height) {
    // Each picture: a sky from the time of day, a sun or moon, two ranges of hills.
    const double phase = index * 0.61803398875;
    const double day = 0.5 + 0.5 * std::sin(phase * 6.2831853);
    const Rgb sky_top = Mix({0.05, 0.05, 0.2}, {0.2, 0.45, 0.9}, day);
    const Rgb sky_low = Mix({0.6, 0.25, 0.3}, {0.75, 0.9, 1.0}, day);
    const Rgb sun = Mix({0.95, 0.95, 0.85}, {1.0, 0.85, 0.3}, day);
    const Rgb far_hill = Mix({0.15, 0.2, 0.3}, {0.35, 0.55, 0.45}, day);
    const Rgb near_hill = Mix({0.05, 0.12, 0.08}, {0.2, 0.5, 0.15}, day);
    const double sun_x = width * (0.15 + 0.7 * std::fmod(phase * 1.7, 1.0));
    const double sun_y = height * (0.15 + 0.25 * std::fmod(phase * 2.3, 1.0));
    const double sun_r = height * 0.08;

    std::string rows;
    rows.reserve(static_cast<std::size_t>(height) * (static_cast<std::size_t>(width) * 3 + 1));
    for (int y = 0; y < height; ++y) {
        rows.push_back('\0');  // filter: none
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            const double fy = static_cast<double>(y) / height;
            Rgb c = Mix(sky_top, sky_low, fy);
            const double d = std::hypot(x - sun_x, y - sun_y);
            if (d < sun_r) c = sun;
            else if (d < sun_r * 2.5) c = Mix(c, sun, 0.25 * (1.0 - (d - sun_r) / (sun_r * 1.5)));
            const double far = 0.55 + 0.08 * std::sin(fx * 9.0 + phase * 5.0) + 0.04 * std::sin(fx * 23.0 + phase);
            const double near = 0.72 + 0.1 * std::sin(fx * 5.0 + phase * 3.0) + 0.03 * std::sin(fx * 31.0);
            if (fy > near) c = Mix(near_hill, {0.02, 0.05, 0.02}, (fy - near) * 2.0);
            else if (fy > far) c = Mix(far_hill, sky_low, 0.25 * (near - fy));
            rows.push_back(static_cast<char>(Channel(c.r)));
            rows.push_back(static_cast<char>(Channel(c.g)));
            rows.push_back(static_cast<char>(Channel(c.b)));
        }
    }
    return Png(width, height, rows);
}

std::string PicasaAlbumPage(const std::string& title, const std::vector<std::string>& picture_addresses) {
    std::string page =
        "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\">\r\n<title>" + title +
        " - Web Albums</title>\r\n<script type=\"text/javascript\">\r\n"
        "var _user = {\"nickname\":\"Demo\",\"thumbnail\":{\"type\":\"image/png\",\"content$src\":\"/avatar.png\"," +
        "\"width\":\"48\"}};\r\n"
        "_initAlbum({feedPreload: {\"feed\":{\"title\":{\"$t\":\"" + title + "\"},\"gphoto$numphotos\":" +
        std::to_string(picture_addresses.size()) + ",\"entry\":[";
    for (std::size_t i = 0; i < picture_addresses.size(); ++i) {
        if (i > 0) page += ",";
        page += "{\"gphoto$id\":\"" + std::to_string(5400000 + i) + "\",\"title\":{\"$t\":\"picture " +
                std::to_string(i + 1) + "\"},\"media$group\":{\"type\":\"image/png\",\"content$src\":\"" +
                picture_addresses[i] + "\",\"width\":\"320\",\"height\":\"240\"}}";
    }
    page += "]}}});\r\n</script></head>\r\n<body><h1>" + title + "</h1><div id=\"lhid_content\"></div></body></html>\r\n";
    return page;
}

}  // namespace gathrix::demo
