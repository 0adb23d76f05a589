#include "app/display_text.h"

#include <string>

namespace gathrix::app {

QString ToDisplayText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

}  // namespace gathrix::app
