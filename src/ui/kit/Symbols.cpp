#include "ui/kit/Symbols.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>

#include <map>
#include <string>
#include <vector>

#include "ui/kit/Fonts.h"

namespace sorvel::ui::Symbols {

namespace {

// System symbol name -> Material Icons ligature.
const std::map<std::string_view, const char*>& ligatures() {
    static const std::map<std::string_view, const char*> table = {
        {"chevron.right", "chevron_right"},
        {"chevron.forward", "chevron_right"},
        {"chevron.left", "chevron_left"},
        {"chevron.backward", "chevron_left"},
        {"chevron.up", "expand_less"},
        {"chevron.down", "expand_more"},
        {"lock.fill", "lock"},
        {"lock.shield", "admin_panel_settings"},
        {"wind", "air"},
        {"doc.on.doc", "content_copy"},
        {"doc", "description"},
        {"doc.text", "description"},
        {"clock.arrow.circlepath", "history"},
        {"clock", "schedule"},
        {"exclamationmark.triangle", "warning_amber"},
        {"exclamationmark.triangle.fill", "warning"},
        {"exclamationmark.arrow.triangle.2.circlepath", "sync_problem"},
        {"arrow.clockwise", "refresh"},
        {"arrow.counterclockwise", "undo"},
        {"arrow.uturn.backward", "undo"},
        {"arrow.triangle.2.circlepath", "sync"},
        {"arrow.down.circle", "arrow_circle_down"},
        {"arrow.down.circle.fill", "arrow_circle_down"},
        {"arrow.up.right.square", "open_in_new"},
        {"arrow.right", "arrow_forward"},
        {"checkmark", "check"},
        {"checkmark.circle", "check_circle_outline"},
        {"checkmark.circle.fill", "check_circle"},
        {"checkmark.shield", "verified_user"},
        {"checkmark.shield.fill", "verified_user"},
        {"xmark", "close"},
        {"xmark.circle.fill", "cancel"},
        {"xmark.octagon", "dangerous"},
        {"xmark.octagon.fill", "dangerous"},
        {"minus.circle", "remove_circle_outline"},
        {"minus.circle.fill", "remove_circle"},
        {"plus", "add"},
        {"icloud", "cloud"},
        {"icloud.fill", "cloud"},
        {"trash", "delete"},
        {"trash.fill", "delete"},
        {"square.grid.2x2", "grid_view"},
        {"moon.fill", "dark_mode"},
        {"sun.max.fill", "light_mode"},
        {"dot.radiowaves.up.forward", "sensors"},
        {"sparkles", "auto_awesome"},
        {"folder", "folder_open"},
        {"folder.fill", "folder"},
        {"magnifyingglass", "search"},
        {"info.circle", "info"},
        {"questionmark.circle", "help_outline"},
        {"hand.raised", "back_hand"},
        {"hand.raised.fill", "back_hand"},
        {"gearshape", "settings"},
        {"square.and.arrow.up", "ios_share"},
        {"shippingbox", "inventory_2"},
        {"archivebox", "archive"},
        {"externaldrive", "storage"},
        {"externaldrive.badge.questionmark", "device_unknown"},
        {"sum", "functions"},
        {"internaldrive", "storage"},
        {"calendar", "calendar_today"},
        {"chart.bar", "bar_chart"},
        {"chart.line.uptrend.xyaxis", "show_chart"},
        {"eye", "visibility"},
        {"terminal", "terminal"},
        {"hammer", "build"},
        {"iphone", "smartphone"},
        {"envelope", "mail"},
        {"message", "chat"},
        {"photo", "photo"},
        {"key", "key"},
        {"bolt", "bolt"},
        {"list.bullet", "list"},
        {"desktopcomputer", "computer"},
        {"app", "apps"},
        {"stop.fill", "stop"},
        {"play.fill", "play_arrow"},
        // Category, cleanup and insight screens.
        {"doc.fill", "insert_drive_file"},
        {"arrow.up.forward.app", "open_in_new"},
        {"arrow.turn.down.right", "subdirectory_arrow_right"},
        {"checklist", "checklist"},
        {"circle.dashed", "pending"}, // an empty ring would read as an unticked box
        {"exclamationmark.icloud.fill", "cloud_off"},
    };
    return table;
}

QFont iconFont(double pixel) {
    QFont f("Material Icons");
    f.setPixelSize(std::max(1, int(pixel + 0.5)));
    f.setStyleStrategy(QFont::NoFontMerging);
    return f;
}

bool fontPresent() {
    static const bool present = QFontDatabase::families().contains("Material Icons");
    return present;
}

// Fallbacks for names without a glyph (or without the font): simple strokes.
void drawFallback(QPainter& p, const QRectF& r, std::string_view name, const QColor& colour) {
    const double s = std::min(r.width(), r.height());
    const QRectF box(r.center().x() - s / 2, r.center().y() - s / 2, s, s);
    QPen pen(colour, std::max(1.2, s / 9), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    const auto at = [&](double x, double y) { return QPointF(box.left() + x * s, box.top() + y * s); };
    if (name.starts_with("chevron.right") || name == "chevron.forward") {
        path.moveTo(at(0.38, 0.22)); path.lineTo(at(0.64, 0.5)); path.lineTo(at(0.38, 0.78));
    } else if (name == "chevron.left" || name == "chevron.backward") {
        path.moveTo(at(0.62, 0.22)); path.lineTo(at(0.36, 0.5)); path.lineTo(at(0.62, 0.78));
    } else if (name == "chevron.up") {
        path.moveTo(at(0.22, 0.62)); path.lineTo(at(0.5, 0.36)); path.lineTo(at(0.78, 0.62));
    } else if (name == "chevron.down") {
        path.moveTo(at(0.22, 0.38)); path.lineTo(at(0.5, 0.64)); path.lineTo(at(0.78, 0.38));
    } else if (name == "checkmark") {
        path.moveTo(at(0.2, 0.52)); path.lineTo(at(0.42, 0.74)); path.lineTo(at(0.8, 0.28));
    } else if (name == "xmark") {
        path.moveTo(at(0.25, 0.25)); path.lineTo(at(0.75, 0.75));
        path.moveTo(at(0.75, 0.25)); path.lineTo(at(0.25, 0.75));
    } else if (name == "circle.fill") {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(box.adjusted(s * 0.15, s * 0.15, -s * 0.15, -s * 0.15));
        return;
    } else {
        p.drawEllipse(box.adjusted(s * 0.2, s * 0.2, -s * 0.2, -s * 0.2));
        return;
    }
    p.drawPath(path);
}

// Names no glyph stands for, drawn as strokes in the symbol's square.
bool drawOwn(QPainter& p, const QRectF& r, std::string_view name, const QColor& colour) {
    auto at = [&](double x, double y) { return QPointF(r.left() + x * r.width(), r.top() + y * r.height()); };
    QPen pen(colour, std::max(1.2, r.width() * 0.1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    QPainterPath path;
    if (name == "equal") {
        path.moveTo(at(0.22, 0.4)); path.lineTo(at(0.78, 0.4));
        path.moveTo(at(0.22, 0.6)); path.lineTo(at(0.78, 0.6));
    } else if (name == "arrow.up.right") {
        path.moveTo(at(0.25, 0.75)); path.lineTo(at(0.75, 0.25));
        path.moveTo(at(0.4, 0.25)); path.lineTo(at(0.75, 0.25)); path.lineTo(at(0.75, 0.6));
    } else if (name == "arrow.down.right") {
        path.moveTo(at(0.25, 0.25)); path.lineTo(at(0.75, 0.75));
        path.moveTo(at(0.75, 0.4)); path.lineTo(at(0.75, 0.75)); path.lineTo(at(0.4, 0.75));
    } else if (name == "menubar.arrow.up.rectangle") {
        path.addRoundedRect(QRectF(at(0.12, 0.2), at(0.88, 0.8)), 1.5, 1.5);
        path.moveTo(at(0.12, 0.34)); path.lineTo(at(0.88, 0.34));
        path.moveTo(at(0.5, 0.72)); path.lineTo(at(0.5, 0.46));
        path.moveTo(at(0.38, 0.56)); path.lineTo(at(0.5, 0.46)); path.lineTo(at(0.62, 0.56));
    } else if (name == "hand.point.right" || name == "hand.tap") {
        // A pointing finger reads as an arrow towards the action.
        path.moveTo(at(0.2, 0.5)); path.lineTo(at(0.78, 0.5));
        path.moveTo(at(0.56, 0.3)); path.lineTo(at(0.78, 0.5)); path.lineTo(at(0.56, 0.7));
        if (name == "hand.tap") path.addEllipse(QRectF(at(0.1, 0.38), at(0.3, 0.62)));
    } else {
        return false;
    }
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    return true;
}

} // namespace

QSizeF size(double px) {
    const double s = px * 1.25;
    return {s, s};
}

bool hasGlyph(std::string_view name) {
    if (!fontPresent()) return false;
    auto it = ligatures().find(name);
    if (it == ligatures().end()) return false;
    // A ligature shapes to one glyph about one em wide; a missing one spells the word out.
    static std::map<std::string_view, bool> cache;
    auto cached = cache.find(name);
    if (cached != cache.end()) return cached->second;
    const QFontMetricsF m(iconFont(48));
    const bool one = m.horizontalAdvance(QString::fromLatin1(it->second)) < 48 * 1.5;
    // Keyed by the table's own (static) text, never by the caller's.
    cache.emplace(it->first, one);
    return one;
}

void paint(QPainter& painter, const QRectF& rect, std::string_view name, const QColor& colour, double px) {
    const double side = px > 0 ? size(px).height() : std::min(rect.width(), rect.height());
    const QRectF box(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (hasGlyph(name)) {
        painter.setFont(iconFont(side));
        painter.setPen(colour);
        painter.drawText(box, Qt::AlignCenter, QString::fromLatin1(ligatures().at(name)));
    } else if (!drawOwn(painter, box, name, colour)) {
        drawFallback(painter, box, name, colour);
    }
    painter.restore();
}

const std::vector<std::string_view>& knownNames() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> out;
        for (const auto& [k, v] : ligatures()) out.push_back(k);
        out.push_back("circle.fill");
        for (std::string_view drawn : {"equal", "arrow.up.right", "arrow.down.right", "menubar.arrow.up.rectangle",
                                       "hand.point.right", "hand.tap"})
            out.push_back(drawn);
        return out;
    }();
    return names;
}

} // namespace sorvel::ui::Symbols
