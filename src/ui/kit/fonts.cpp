#include "ui/kit/fonts.h"

#include <QStringList>

QFont WindowFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("sans-serif")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    return f;
}

QFont MonoFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"), QStringLiteral("monospace")});
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    f.setPointSize(8);
    return f;
}
