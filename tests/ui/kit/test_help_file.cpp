#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ui/kit/help_file.h"

namespace {

void Touch(const QString& Path)
{
    QDir().mkpath(QFileInfo(Path).absolutePath());
    QFile f(Path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

} // namespace

TEST(HelpFile, InstalledDataThenBesideTheProgramThenDocumentation)
{
    struct TCase {
        const char* Name;
        QStringList Files; // relative to the prefix; the program is bin/kvxc
        const char* Found; // empty: none
    };
    const TCase Cases[] = {
        {"installed", {"share/kvxc/kvxc.html", "bin/kvxc.html", "share/doc/kvxc/kvxc.html"}, "share/kvxc/kvxc.html"},
        {"build tree", {"bin/kvxc.html", "share/doc/kvxc/kvxc.html"}, "bin/kvxc.html"},
        {"older installation", {"share/doc/kvxc/kvxc.html"}, "share/doc/kvxc/kvxc.html"},
        {"a folder is no file", {"bin/kvxc.html/x"}, ""},
        {"other name", {"bin/other.html", "share/other/kvxc.html", "share/doc/other/kvxc.html"}, ""},
        {"none", {}, ""},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        QTemporaryDir prefix;
        ASSERT_TRUE(prefix.isValid());
        const QString root = QDir(prefix.path()).canonicalPath() + QLatin1Char('/');
        Touch(root + "bin/kvxc");
        for (const QString& f : C.Files)
            Touch(root + f);
        const QString expected = *C.Found ? root + C.Found : QString();
        EXPECT_EQ(FindHelpFile(root + "bin/kvxc"), expected);
    }
}
