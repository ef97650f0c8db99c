// The text rule between the engine and Qt.
#include "qttext/QtText.h"

namespace ov {

namespace {

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::u16string_view Units(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.constData()),
            static_cast<std::size_t>(text.size())};
}

}  // namespace

QString QtText(std::string_view engine) {
    return QString::fromLatin1(engine.data(), static_cast<qsizetype>(engine.size()));
}

std::string EngineText(const QString& text, std::size_t* replaced) {
    if (replaced) *replaced = 0;
    std::string engine;
    AppendEngineText(Units(text), engine, replaced);
    return engine;
}

void AppendEngineText(std::u16string_view utf16, std::string& engine, std::size_t* replaced) {
    const std::size_t start = engine.size();
    engine.resize(start + utf16.size());
    char* out = engine.data() + start;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        if (unit <= 0xFF) {
            *out++ = static_cast<char>(unit);
            continue;
        }
        *out++ = '?';
        if (replaced) ++*replaced;
        // The two units of one character are one "?".
        if (IsHighSurrogate(unit) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) ++i;
    }
    engine.resize(static_cast<std::size_t>(out - engine.data()));
}

bool ExactEngineText(const QString& text, std::string& engine, QString& refused) {
    const std::u16string_view units = Units(text);
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] <= 0xFF) continue;
        const bool pair =
            IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1]);
        const char32_t c = pair ? QChar::surrogateToUcs4(units[i], units[i + 1]) : units[i];
        // A lone surrogate is no character: it is shown as the replacement character, so that
        // the message itself stays text.
        const QString shown = pair ? QString::fromUcs4(&c, 1)
                              : IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])
                                  ? QString(QChar(QChar::ReplacementCharacter))
                                  : QString(QChar(units[i]));
        refused = QStringLiteral("\"%1\" (U+%2)")
                      .arg(shown, QString::number(static_cast<uint>(c), 16)
                                      .toUpper()
                                      .rightJustified(4, QLatin1Char('0')));
        return false;
    }
    engine = EngineText(text);
    return true;
}

}  // namespace ov
