#include "serverlist/markingcommands.h"

#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"

#include <gtest/gtest.h>

using namespace velmora::serverlist;

namespace {

// One row of every mark the program knows, all checked.
const int kAllMarks[] = {MarkUnknown,     MarkCopied,         MarkCopyFailed, MarkReachable,
                         MarkUnreachable, MarkRobocopy,       MarkWorking,    MarkBadVersion,
                         MarkGoodVersion, MarkHandUnreachable};

class MarkingCommands : public ::testing::Test {
protected:
    void SetUp() override {
        for (int mark : kAllMarks) {
            model.addRow("row" + std::to_string(mark), {"?", "?", "Mesto"});
            model.setMark(model.count() - 1, mark);
        }
    }
    std::vector<int> checkedMarks() const {
        std::vector<int> marks;
        for (int i = 0; i < model.count(); ++i)
            if (model.checked(i))
                marks.push_back(model.mark(i));
        return marks;
    }
    ServerListModel model;
};

} // namespace

TEST_F(MarkingCommands, SelectByMarkChecksExactlyThatMark) {
    for (int mark : {MarkReachable, MarkUnreachable, MarkCopied, MarkCopyFailed, MarkUnknown,
                     MarkBadVersion, MarkGoodVersion}) {
        checkAll(model);
        checkExactlyMarked(model, mark);
        EXPECT_EQ(checkedMarks(), std::vector<int>{mark}) << "mark " << mark;
    }
}

TEST_F(MarkingCommands, SelectOnlyRewritesCheckBoxes) {
    model.setChecked(0, false);
    checkExactlyMarked(model, MarkCopyFailed);
    EXPECT_EQ(model.mark(2), MarkCopyFailed);
    EXPECT_EQ(model.subItem(2, 1), "?");
    uncheckAll(model);
    EXPECT_TRUE(checkedMarks().empty());
    checkAll(model);
    EXPECT_EQ(checkedMarks().size(), std::size(kAllMarks));
}

TEST_F(MarkingCommands, HandPaintedUnreachableIsNotSelectedAsUnreachable) {
    uncheckAll(model);
    model.setChecked(0, true); // the MarkUnknown row
    paintChecked(model, MarkHandUnreachable, "***", "nedostupan računar");
    checkExactlyMarked(model, MarkUnreachable);
    EXPECT_FALSE(model.checked(0));
    EXPECT_EQ(checkedMarks(), std::vector<int>{MarkUnreachable});
}

TEST_F(MarkingCommands, PaintTouchesCheckedRowsOnly) {
    uncheckAll(model);
    model.setChecked(1, true);
    model.setChecked(3, true);
    paintChecked(model, MarkCopyFailed, "NO", "neuspešno kopiran?");
    for (int i = 0; i < model.count(); ++i) {
        const bool painted = (i == 1 || i == 3);
        EXPECT_EQ(model.mark(i), painted ? MarkCopyFailed : kAllMarks[i]) << i;
        EXPECT_EQ(model.subItem(i, 0), painted ? "NO" : "?") << i;
        EXPECT_EQ(model.subItem(i, 1), painted ? "neuspešno kopiran?" : "?") << i;
        EXPECT_EQ(model.subItem(i, 2), "Mesto") << i; // "Mesto" is never painted
        EXPECT_EQ(model.checked(i), painted) << i;
    }
}

TEST_F(MarkingCommands, PaintWithNothingCheckedChangesNothing) {
    uncheckAll(model);
    paintChecked(model, MarkCopied, "100%", "OK");
    clearInfoOfChecked(model);
    for (int i = 0; i < model.count(); ++i) {
        EXPECT_EQ(model.mark(i), kAllMarks[i]);
        EXPECT_EQ(model.subItem(i, 1), "?");
    }
}

TEST_F(MarkingCommands, ClearInfoKeepsTheMark) {
    uncheckAll(model);
    model.setChecked(1, true);
    model.setSubItem(1, 0, "100%");
    model.setSubItem(1, 1, "OK (0h 0min 1.5sec)");
    clearInfoOfChecked(model);
    EXPECT_EQ(model.mark(1), MarkCopied);
    EXPECT_EQ(model.subItem(1, 0), "?");
    EXPECT_EQ(model.subItem(1, 1), "");
}

TEST(MarkingCommandsOnEmptyList, DoNothing) {
    ServerListModel model;
    checkAll(model);
    checkExactlyMarked(model, MarkUnknown);
    paintChecked(model, MarkCopied, "100%", "OK");
    clearInfoOfChecked(model);
    EXPECT_EQ(model.count(), 0);
}
