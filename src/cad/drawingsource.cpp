#include "cad/drawingsource.h"

#include "widgets/messagebox.h"

namespace cad {

DrawingSource DrawingSource::of(const Document &doc)
{
    DrawingSource s;
    try {
        s.fullName = doc.fullName();
        s.known = true;
    } catch (const AutomationError &) {
        // Not every object model has it; Name may still tell.
    }
    if (s.fullName.isEmpty()) {
        try {
            s.name = doc.name();
            s.known = true;
        } catch (const AutomationError &) {
        }
    }
    return s;
}

bool DrawingSource::sameAs(const DrawingSource &other) const
{
    if (!known || !other.known)
        return true;
    if (!fullName.isEmpty() || !other.fullName.isEmpty())
        return fullName == other.fullName;
    return name == other.name;
}

std::optional<QString> wrongDrawingMessage(const DrawingSource &source, const Document &doc)
{
    if (!source.known)
        return std::nullopt;
    const DrawingSource now = DrawingSource::of(doc);
    if (source.sameAs(now))
        return std::nullopt;
    return QStringLiteral("取得したデータは図面「%1」のものです．\r"
                          "現在の図面「%2」には書き込みませんでした．\r"
                          "「%1」に切り替えるか、現在の図面でもう一度取得してください．")
        .arg(source.displayName(), now.displayName());
}

bool refuseOtherDrawing(const DrawingSource &source, const Document &doc, QWidget *parent)
{
    const std::optional<QString> why = wrongDrawingMessage(source, doc);
    if (why)
        widgets::showMessage(widgets::MessageKind::Information, *why, parent);
    return why.has_value();
}

} // namespace cad
