#pragma once
// The program writes its texts with CR LF line ends; Qt's text boxes break lines
// at LF only, so every text goes through here on its way into a text box.

#include <QString>
#include <string_view>

namespace gathrix::app {

// UTF-8 text with CR LF, a lone CR or a lone LF as line ends, turned into a
// QString with LF line ends.
QString ToDisplayText(std::string_view text);

}  // namespace gathrix::app
