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

} // namespace zeltrac
