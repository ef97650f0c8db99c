// Text and settings values between the engine and Qt's side of the bus. The one rule for
// text: the engine's text is 8-bit, one byte a character, and a QString holds byte n as the
// code point U+00nn (Latin-1); QtDBus sends that as UTF-8, as the suite expects. The suite's
// names (bus names, paths, interfaces, members, AppIDs, items) are ASCII, for which this is
// the same as UTF-8, so they are converted with it too. Text that is not the engine's (a UTF-8
// file, a command line) is converted where it is read, with Qt's own functions.
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <string>
#include <string_view>
#include <vector>

#include "suite/SetupValue.h"

namespace ov {

// 8-bit text (or a name of the suite) as a QString: every byte the code point of its value.
QString BusText(std::string_view text);
// Bus text as 8-bit text; a code point above U+00FF, which 8-bit text cannot hold, reads "?".
std::string EngineText(const QString& text);
// Bus text as 8-bit text when every character fits (at most U+00FF): true and engine set.
// Otherwise false, engine unchanged, and refused names the first character that does not fit,
// as the character and its code point ("€" (U+20AC)).
bool ExactEngineText(const QString& text, std::string& engine, QString& refused);

// A settings element as a bus variant of its own type: s, b, y, n, q, i, u, x, t or d.
// False for the empty element, which the bus cannot carry.
bool SetupValueToVariant(const TSetupValue& value, QVariant& variant);
// A settings array as the list that QtDBus sends as "av"; false if an element is empty.
bool SetupValuesToVariants(const std::vector<TSetupValue>& values, QVariantList& list);

// A received variant as a settings element; false for a type the settings cannot hold
// (an array, a structure, an object path ...).
bool VariantToSetupValue(const QVariant& variant, TSetupValue& value);
// A received "av" argument (a QDBusArgument or an already converted list) as a settings
// array; false (values unchanged) if the argument is no array of variants or an element has a
// type the settings cannot hold.
bool ArgumentToSetupValues(const QVariant& argument, std::vector<TSetupValue>& values);

}  // namespace ov
