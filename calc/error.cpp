#include "calc/error.h"

namespace zeltrac {

std::string formatMessage(const char* pattern, const std::string& argument)
{
    std::string text(pattern);
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '%' && (text[i + 1] == 's' || text[i + 1] == 'd')) {
            text.replace(i, 2, argument);
            break;
        }
    }
    return text;
}

std::string shownMessage(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + '.';
    return message;
}

} // namespace zeltrac
