// Small drawn pictures: a coloured tile with a letter, one colour per kind, so that the views
// and the tree levels are told apart at a glance without image files.
#include "ui/CatalogueIcons.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <map>

#include "catalogue/CatalogueViews.h"

namespace ov {
namespace {

struct TPicture {
    int Image;
    char Letter;
    QRgb Colour;
};

// The icon numbers of the catalogue's views and levels.
constexpr TPicture Pictures[] = {
    {StationIcon, 'S', 0x2f6fb5},  // station
    {SensorIcon, 's', 0x2e8b57},   // sensor
    {34, 'D', 0x8a5a9c},           // district
    {35, 'C', 0xb5652f},           // city
    {36, 'Y', 0x9c8a2f},           // county
    {37, 'N', 0x5a6b7c},           // country
    {38, 'T', 0xa33b5a},           // state
    {39, 'R', 0x3b8ea3},           // random channel
    {40, 'P', 0x3ba36b},           // primary channel
    {41, 'B', 0x2f8fb5},           // basin
};

QIcon Draw(const TPicture& p) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(p.Colour));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString(QChar(p.Letter)));
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

QIcon CatalogueIcon(int image) {
    static std::map<int, QIcon> drawn;
    if (auto found = drawn.find(image); found != drawn.end()) return found->second;
    QIcon icon;
    for (const TPicture& p : Pictures) {
        if (p.Image == image) icon = Draw(p);
    }
    drawn.emplace(image, icon);
    return icon;
}

}  // namespace ov
