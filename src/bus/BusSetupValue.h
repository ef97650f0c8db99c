// Settings values between the engine and Qt's side of the bus: a settings element as a bus
// variant of its own type and back. Its texts follow the engine's text rule (qttext/QtText.h).
#pragma once

#include <QVariant>
#include <QVariantList>
#include <vector>

#include "suite/SetupValue.h"

namespace ov {

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
