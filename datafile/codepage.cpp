#include "datafile/codepage.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include "calc/error.h"

namespace zeltrac::datafile {

const std::array<char16_t, 256>& codePageChars()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> chars{};
        QStringDecoder decoder(kCodePage);
        if (!decoder.isValid())
            throw Error("Кодировка Windows-1251 недоступна");
        for (int byte = 0; byte < 256; ++byte) {
            const char c = char(byte);
            const QString text = decoder.decode(QByteArrayView(&c, 1));
            chars[byte] = char16_t(byte);
            if (text.size() == 1 && text[0] != QChar::ReplacementCharacter) {
                QStringEncoder encoder(kCodePage);
                const QByteArray back = encoder.encode(text);
                if (!encoder.hasError() && back.size() == 1 && back[0] == c)
                    chars[byte] = text[0].unicode();
            }
        }
        return chars;
    }();
    return table;
}

} // namespace zeltrac::datafile
