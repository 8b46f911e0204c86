#include "ui/kit/help_file.h"

#include <QDir>
#include <QFileInfo>

QString FindHelpFile(const QString& ProgramFile)
{
    const QFileInfo exe(ProgramFile);
    const QString name = exe.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString file = base + QStringLiteral(".html");
    const QDir folder = exe.absoluteDir();
    for (const QString& candidate :
        {folder.filePath(QStringLiteral("../share/") + base + QLatin1Char('/') + file), folder.filePath(file),
            folder.filePath(QStringLiteral("../share/doc/") + base + QLatin1Char('/') + file)}) {
        if (QFileInfo(candidate).isFile())
            return QDir::cleanPath(candidate);
    }
    return QString();
}
