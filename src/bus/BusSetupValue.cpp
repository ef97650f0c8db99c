// Conversions of settings values for the bus.
#include "bus/BusSetupValue.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QMetaType>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "qttext/QtText.h"

namespace ov {

bool SetupValueToVariant(const TSetupValue& value, QVariant& variant) {
    return std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return false;
            } else if constexpr (std::is_same_v<T, std::string>) {
                variant = QtText(v);
                return true;
            } else if constexpr (std::is_same_v<T, bool>) {
                variant = QVariant(v);
                return true;
            } else if constexpr (std::is_same_v<T, std::uint8_t>) {
                variant = QVariant::fromValue(static_cast<uchar>(v));
                return true;
            } else if constexpr (std::is_same_v<T, std::int16_t>) {
                variant = QVariant::fromValue(static_cast<short>(v));
                return true;
            } else if constexpr (std::is_same_v<T, std::uint16_t>) {
                variant = QVariant::fromValue(static_cast<ushort>(v));
                return true;
            } else if constexpr (std::is_same_v<T, std::int32_t>) {
                variant = QVariant::fromValue(static_cast<int>(v));
                return true;
            } else if constexpr (std::is_same_v<T, std::uint32_t>) {
                variant = QVariant::fromValue(static_cast<uint>(v));
                return true;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                variant = QVariant::fromValue(static_cast<qlonglong>(v));
                return true;
            } else if constexpr (std::is_same_v<T, std::uint64_t>) {
                variant = QVariant::fromValue(static_cast<qulonglong>(v));
                return true;
            } else {
                static_assert(std::is_same_v<T, double>);
                variant = QVariant(v);
                return true;
            }
        },
        value);
}

bool SetupValuesToVariants(const std::vector<TSetupValue>& values, QVariantList& list) {
    QVariantList out;
    out.reserve(static_cast<qsizetype>(values.size()));
    for (const auto& value : values) {
        QVariant v;
        if (!SetupValueToVariant(value, v)) return false;
        out.append(std::move(v));
    }
    list = std::move(out);
    return true;
}

bool VariantToSetupValue(const QVariant& variant, TSetupValue& value) {
    // A nested variant ("v" inside "v") is unwrapped.
    if (variant.metaType() == QMetaType::fromType<QDBusVariant>()) {
        return VariantToSetupValue(variant.value<QDBusVariant>().variant(), value);
    }
    switch (variant.metaType().id()) {
        case QMetaType::QString:
            value = EngineText(variant.toString());
            return true;
        case QMetaType::Bool:
            value = variant.toBool();
            return true;
        case QMetaType::UChar:
            value = static_cast<std::uint8_t>(variant.value<uchar>());
            return true;
        case QMetaType::Short:
            value = static_cast<std::int16_t>(variant.value<short>());
            return true;
        case QMetaType::UShort:
            value = static_cast<std::uint16_t>(variant.value<ushort>());
            return true;
        case QMetaType::Int:
            value = static_cast<std::int32_t>(variant.toInt());
            return true;
        case QMetaType::UInt:
            value = static_cast<std::uint32_t>(variant.toUInt());
            return true;
        case QMetaType::LongLong:
            value = static_cast<std::int64_t>(variant.toLongLong());
            return true;
        case QMetaType::ULongLong:
            value = static_cast<std::uint64_t>(variant.toULongLong());
            return true;
        case QMetaType::Double:
            value = variant.toDouble();
            return true;
        default:
            return false;
    }
}

bool ArgumentToSetupValues(const QVariant& argument, std::vector<TSetupValue>& values) {
    QVariantList list;
    if (argument.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto arg = argument.value<QDBusArgument>();
        if (arg.currentType() != QDBusArgument::ArrayType ||
            arg.currentSignature() != QLatin1String("av")) {
            return false;
        }
        arg >> list;
    } else if (argument.metaType() == QMetaType::fromType<QVariantList>()) {
        list = argument.toList();
    } else {
        return false;
    }
    std::vector<TSetupValue> out;
    out.reserve(static_cast<std::size_t>(list.size()));
    for (const auto& element : list) {
        TSetupValue v;
        if (!VariantToSetupValue(element, v)) return false;
        out.push_back(std::move(v));
    }
    values = std::move(out);
    return true;
}

}  // namespace ov
