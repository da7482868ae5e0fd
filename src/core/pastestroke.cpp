#include "pastestroke.h"

QList<int> PasteStroke::all()
{
    return {CtrlV, CtrlShiftV, ShiftInsert, Type};
}

QString PasteStroke::text(int stroke)
{
    switch (stroke) {
    case CtrlV:
        return QStringLiteral("Ctrl+V");
    case CtrlShiftV:
        return QStringLiteral("Ctrl+Shift+V");
    case ShiftInsert:
        return QStringLiteral("Shift+Insert");
    case Type:
        return QStringLiteral("Type");
    default:
        return QString();
    }
}

int PasteStroke::fromText(const QString &text)
{
    for (int stroke : all()) {
        if (PasteStroke::text(stroke).compare(text.trimmed(), Qt::CaseInsensitive) == 0)
            return stroke;
    }
    return 0;
}
