// SPDX-License-Identifier: GPL-3.0-or-later
// The one order in which every program of the package finds its program folder, and the rule
// that only the user's own data folder is ever given an empty index.

#include "index/chartindexschema.h"
#include "index/programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using programfolder::Places;
using programfolder::Source;

namespace {

class ProgramFolderTest : public ::testing::Test {
public:
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

    void write(const QString& name, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path(name)).path());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    /// Every place filled: each step finds its own folder.
    Places allPlaces() {
        QFile::remove(path("bin/PeloraFileDB.conf")); // left by an earlier case
        write("bin/PeloraFileDB.db", "");
        write("clinic.conf",
              "# the clinic's share\nprogram-folder = " + path("share").toUtf8() + "\n");
        return Places{path("option"), path("environment"),    path("clinic.conf"), path("bin"),
                      true,           path("data/pelorafile")};
    }
};

TEST_F(ProgramFolderTest, EachStepGivesWayOnlyToTheStepsBeforeIt) {
    struct Case {
        const char* name;
        void (*change)(Places&, ProgramFolderTest&);
        Source source;
        const char* folder;
    };
    const Case cases[] = {
        {"option first", [](Places&, ProgramFolderTest&) {}, Source::Option, "option"},
        {"then the environment", [](Places& p, ProgramFolderTest&) { p.option.clear(); },
         Source::Environment, "environment"},
        {"then the clinic-wide file",
         [](Places& p, ProgramFolderTest&) {
             p.option.clear();
             p.environment.clear();
         },
         Source::ClinicFile, "share"},
        {"then the program's folder when it holds an index",
         [](Places& p, ProgramFolderTest&) {
             p.option.clear();
             p.environment.clear();
             p.clinicFile = p.clinicFile + ".absent";
         },
         Source::ExecutableFolder, "bin"},
        {"a server conf file is an index too",
         [](Places& p, ProgramFolderTest& t) {
             p.option.clear();
             p.environment.clear();
             p.clinicFile = p.clinicFile + ".absent";
             QFile::remove(t.path("bin/PeloraFileDB.db"));
             t.write("bin/PeloraFileDB.conf", "[index]\n");
         },
         Source::ExecutableFolder, "bin"},
        {"an installed program without one: the user's data folder",
         [](Places& p, ProgramFolderTest& t) {
             p.option.clear();
             p.environment.clear();
             p.clinicFile = p.clinicFile + ".absent";
             QFile::remove(t.path("bin/PeloraFileDB.db"));
         },
         Source::UserDataFolder, "data/pelorafile"},
        {"a clinic-wide file of comments only names nothing",
         [](Places& p, ProgramFolderTest& t) {
             p.option.clear();
             p.environment.clear();
             QFile::remove(t.path("bin/PeloraFileDB.db"));
             t.write("clinic.conf", "# program-folder=/srv/pelorafile\n\n");
         },
         Source::UserDataFolder, "data/pelorafile"},
        {"a copied program folder without one: its own folder (the index failure follows)",
         [](Places& p, ProgramFolderTest& t) {
             p.option.clear();
             p.environment.clear();
             p.clinicFile = p.clinicFile + ".absent";
             p.installed = false;
             QFile::remove(t.path("bin/PeloraFileDB.db"));
         },
         Source::ExecutableFolder, "bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Places places = allPlaces();
        c.change(places, *this);
        QString error;
        const auto found = programfolder::find(places, &error);
        ASSERT_TRUE(found) << error.toStdString();
        EXPECT_EQ(found->source, c.source);
        EXPECT_EQ(found->path.toStdString(), path(QString::fromUtf8(c.folder)).toStdString());
    }
}

TEST_F(ProgramFolderTest, ARelativeFolderIsTakenFromTheWorkingFolder) {
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const auto found = programfolder::find(Places{"sub/../folder", {}, {}, {}, true, {}}, nullptr);
    QDir::setCurrent(saved);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path, path("folder"));
}

TEST_F(ProgramFolderTest, AClinicWideFileThatCannotBeUsedStopsTheSearch) {
    // Falling through to the user's data folder would fill an index of its own while the
    // clinic's waits on the server.
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"program_folder=/srv/x\n", "line 1: unknown key program_folder"},
        {"program-folder=/srv/x\nprogram-folder=/srv/y\n",
         "line 2: the key program-folder appears twice"},
        {"# empty\nprogram-folder=\n", "line 2: the key program-folder has no value"},
        {"program-folder=srv/x\n", "line 1: the folder srv/x is not an absolute path"},
        {"/srv/x\n", "line 1: expected program-folder=FOLDER"},
        {"program-folder=/srv/\xff\n", "the file is not UTF-8 text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        write("clinic.conf", c.text);
        QString error;
        EXPECT_FALSE(programfolder::find(
            Places{{}, {}, path("clinic.conf"), path("bin"), true, path("data")}, &error));
        EXPECT_TRUE(error.startsWith(path("clinic.conf"))) << error.toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.reason))) << error.toStdString();
    }
}

TEST_F(ProgramFolderTest, OnlyTheUsersOwnDataFolderGetsAnEmptyIndexAtAFirstStart) {
    for (const Source source :
         {Source::Option, Source::Environment, Source::ClinicFile, Source::ExecutableFolder}) {
        SCOPED_TRACE(int(source));
        const QString unmounted = path(QStringLiteral("share%1/pelorafile").arg(int(source)));
        EXPECT_TRUE(programfolder::prepareFirstStart({unmounted, source}, nullptr));
        EXPECT_FALSE(QFileInfo::exists(unmounted)) << "an unmounted share must stay missing";
    }

    const QString data = path("data/pelorafile");
    QString error;
    ASSERT_TRUE(programfolder::prepareFirstStart({data, Source::UserDataFolder}, &error))
        << error.toStdString();
    EXPECT_GT(QFileInfo(QDir(data).filePath(chartindex::fileName)).size(), 0);
    // An index that is there already, or a conf file that moves it to a server, stays as it is.
    write("data/pelorafile/PeloraFileDB.db", "rows");
    EXPECT_TRUE(programfolder::prepareFirstStart({data, Source::UserDataFolder}, nullptr));
    EXPECT_EQ(QFileInfo(path("data/pelorafile/PeloraFileDB.db")).size(), 4);
    write("server/PeloraFileDB.conf", "[index]\n");
    EXPECT_TRUE(
        programfolder::prepareFirstStart({path("server"), Source::UserDataFolder}, nullptr));
    EXPECT_FALSE(QFileInfo::exists(path("server/PeloraFileDB.db")));
}

} // namespace
