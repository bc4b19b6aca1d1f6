#include "platform/StreamMessages.h"

namespace keyscope {

void StreamMessages::present(std::string_view text, std::string_view caption, MessageIcon,
                             std::string_view /*detail*/) {
    const std::string_view title = caption.empty() ? std::string_view("Keyscope") : caption;
    std::fprintf(stream_, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    std::fflush(stream_);
}

}  // namespace keyscope
