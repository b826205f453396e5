// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/apagelist.h"
#include "app/thumbnailrule.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

void fill(PageList& list, int count) {
    for (int i = 1; i <= count; ++i) {
        list.append(
            APageList{QString("/scan/%1.jpg").arg(i), i - 1, std::nullopt, QString::number(i)});
    }
}

QString order(const PageList& list) {
    QString text;
    for (int i = 0; i < list.count(); ++i) {
        text += list.at(i).Shiori;
    }
    return text;
}

struct MutationCase {
    const char* name;
    std::function<void(PageList&)> change;
    int emissions; ///< how often changed() is emitted
};

class PageListChanges : public ::testing::TestWithParam<MutationCase> {};

TEST_P(PageListChanges, EveryChangeOfTheChartIsSignalledOnce) {
    PageList list;
    fill(list, 3);
    int emitted = 0;
    QObject::connect(&list, &PageList::changed, [&] { ++emitted; });
    GetParam().change(list);
    EXPECT_EQ(emitted, GetParam().emissions);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PageListChanges,
    ::testing::Values(
        MutationCase{"append", [](PageList& l) { l.append(APageList{"/scan/4.jpg"}); }, 1},
        MutationCase{"remove", [](PageList& l) { l.remove(1); }, 1},
        MutationCase{"remove_nothing", [](PageList& l) { l.remove(3); }, 0},
        MutationCase{"move", [](PageList& l) { l.dragMove(0, std::nullopt); }, 1},
        MutationCase{"move_in_place", [](PageList& l) { l.dragMove(1, 2); }, 0},
        MutationCase{"caption", [](PageList& l) { l.setShiori(0, "new"); }, 1},
        MutationCase{"same_caption", [](PageList& l) { l.setShiori(0, "1"); }, 0},
        MutationCase{"note", [](PageList& l) { l.setNote(2, QStringList{"line"}); }, 1},
        MutationCase{"clear", [](PageList& l) { l.clear(); }, 1},
        MutationCase{"thumbnail_only", [](PageList& l) { l.setImageIndex(l.at(0), 7); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct DragCase {
    const char* name;
    int source;
    std::optional<int> target;
    const char* order;
    std::optional<std::pair<int, int>> refreshed;
};

class PageListDrag : public ::testing::TestWithParam<DragCase> {};

TEST_P(PageListDrag, MovesAsTheDropSays) {
    PageList list;
    fill(list, 4);
    const auto refreshed = list.dragMove(GetParam().source, GetParam().target);
    EXPECT_EQ(order(list), GetParam().order);
    EXPECT_EQ(refreshed, GetParam().refreshed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PageListDrag,
    ::testing::Values(DragCase{"first_onto_third", 0, 2, "2134", std::pair{0, 1}},
                      DragCase{"fourth_onto_second", 3, 1, "1423", std::pair{1, 3}},
                      DragCase{"second_onto_empty_space", 1, std::nullopt, "1342", std::pair{1, 3}},
                      DragCase{"onto_itself", 2, 2, "1234", std::nullopt},
                      DragCase{"onto_the_next_item", 1, 2, "1234", std::nullopt},
                      DragCase{"last_onto_empty_space", 3, std::nullopt, "1234", std::nullopt},
                      DragCase{"source_out_of_range", 7, 1, "1234", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageList, EntriesKeepTheirAddressAcrossMovesAndRemovals) {
    PageList list;
    fill(list, 3);
    const APageList* third = &list.at(2);
    list.dragMove(2, 0);
    EXPECT_EQ(&list.at(0), third);
    EXPECT_TRUE(list.remove(1));
    EXPECT_FALSE(list.remove(5));
    EXPECT_EQ(order(list), "32");
    EXPECT_TRUE(list.containsFileName("3.jpg"));
    EXPECT_FALSE(list.containsFileName("3.JPG"));
    EXPECT_FALSE(list.containsFileName("1.jpg"));
}

TEST(PageList, RemovedFilesAreRecordedAsTheyAreWhenRemoved) {
    QTemporaryDir dir;
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return dir.filePath(name);
    };
    PageList list;
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) {
        list.append(APageList{write(name, "scanned")});
    }
    // Page 2 is rewritten (as the page editor saves it: a new file under the name) before the
    // operator removes it; the record holds the file as it is then.
    const QString edited = write("2.jpg.new", "edited page");
    ASSERT_TRUE(QFile::remove(dir.filePath("2.jpg")) &&
                QFile::rename(edited, dir.filePath("2.jpg")));
    list.remove(1);
    ASSERT_EQ(list.removedFiles().size(), 1u);
    EXPECT_EQ(list.removedFiles().at(0).path, dir.filePath("2.jpg"));
    EXPECT_EQ(list.removedFiles().at(0).identity, scannerfolder::identify(dir.filePath("2.jpg")));

    // A page whose file is gone leaves nothing to record; a file taken in again leaves the record.
    QFile::remove(dir.filePath("3.jpg"));
    list.remove(1);
    EXPECT_EQ(list.removedFiles().size(), 1u);
    list.append(APageList{dir.filePath("2.jpg")});
    EXPECT_TRUE(list.removedFiles().empty());

    // A new chart begins with an empty record.
    list.remove(0);
    EXPECT_EQ(list.removedFiles().size(), 1u);
    list.clear();
    EXPECT_TRUE(list.removedFiles().empty());
}

TEST(PageList, CaptionsAreCutAt18Bytes) {
    EXPECT_EQ(PageList::cutCaption("abcdefghijklmnopqrst"), "abcdefghijklmnopqr");
    EXPECT_EQ(PageList::cutCaption(QStringLiteral("一二三四五六七八九十")),
              QStringLiteral("一二三四五六七八九"));
    EXPECT_EQ(PageList::cutCaption(QStringLiteral("a一二三四五六七八九")),
              QStringLiteral("a一二三四五六七八"));
}

struct ThumbCase {
    const char* name;
    QSize image;
    int side;
    bool stretch;
    QRect expected;
};

class ThumbnailPlacement : public ::testing::TestWithParam<ThumbCase> {};

TEST_P(ThumbnailPlacement, FollowsTheRule) {
    EXPECT_EQ(thumbnailrule::placement(GetParam().image, GetParam().side, GetParam().stretch),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ThumbnailPlacement,
    ::testing::Values(ThumbCase{"a4_scan_at_128", {2480, 3508}, 128, false, {19, 0, 90, 127}},
                      ThumbCase{"square_1000_at_64", {1000, 1000}, 64, false, {0, 0, 64, 64}},
                      ThumbCase{"square_100_at_96", {100, 100}, 96, false, {0, 0, 95, 95}},
                      ThumbCase{"landscape", {3508, 2480}, 128, false, {0, 19, 127, 90}},
                      ThumbCase{"stretched", {2480, 3508}, 160, true, {0, 0, 160, 160}},
                      ThumbCase{"tiny_image_is_enlarged", {10, 5}, 64, false, {0, 16, 64, 32}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ThumbnailSide, FollowsTheSizeStep) {
    EXPECT_EQ(thumbnailrule::side(0), 64);
    EXPECT_EQ(thumbnailrule::side(2), 128);
    EXPECT_EQ(thumbnailrule::side(4), 192);
    EXPECT_EQ(thumbnailrule::side(9), 192);
    EXPECT_EQ(thumbnailrule::side(-1), 64);
}

} // namespace
