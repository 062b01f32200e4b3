// Drops from the desktop handed over to a panel as messages, while a report
// view keeps taking its files itself.
#include "report/app/OleDropTargetEx.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <vector>

#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "tests/report/ReportTestUtil.h"

namespace {

// Answers each message with the value queued for it and keeps a copy of
// the record.
class Panel : public QWidget {
public:
    struct Got {
        int message;
        bool hasInfo;
        COleDropInfo info;
    };
    std::vector<Got> got;
    std::map<int, intptr_t> answers;

protected:
    bool event(QEvent* e) override {
        if (COleDropMsg* m = COleDropMsg::From(e)) {
            Got g{int(e->type()), m->GetInfo() != nullptr, {}};
            if (m->GetInfo()) {
                g.info.m_pDataObject = m->GetInfo()->m_pDataObject;
                g.info.m_dwKeyState = m->GetInfo()->m_dwKeyState;
                g.info.m_dropEffect = m->GetInfo()->m_dropEffect;
                g.info.m_dropEffectList = m->GetInfo()->m_dropEffectList;
                g.info.m_x = m->GetInfo()->m_x;
                g.info.m_y = m->GetInfo()->m_y;
            }
            got.push_back(g);
            m->SetResult(answers[int(e->type())]);
            return true;
        }
        return QWidget::event(e);
    }
};

class OleDropTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        panel.resize(200, 100);
        ASSERT_TRUE(target.Register(&panel));
        mime.setText(QStringLiteral("gate"));
    }
    QDragEnterEvent Enter(Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
        return QDragEnterEvent(QPoint(12, 34), offered, &mime, Qt::LeftButton, Qt::ControlModifier);
    }

    Panel panel;
    COleDropTargetEx target;
    QMimeData mime;
};

TEST_F(OleDropTest, EnterAndOverAskThePanelForTheEffect) {
    struct Case {
        intptr_t answer;
        Qt::DropActions offered;
        bool accepted;
        Qt::DropAction action;
    };
    const Case cases[] = {
        {kDropEffectCopy, Qt::CopyAction | Qt::MoveAction, true, Qt::CopyAction},
        {kDropEffectMove, Qt::CopyAction | Qt::MoveAction, true, Qt::MoveAction},
        {kDropEffectNone, Qt::CopyAction | Qt::MoveAction, false, Qt::CopyAction},
        {kDropEffectMove, Qt::CopyAction, false, Qt::CopyAction},  // not offered
    };
    for (const Case& c : cases) {
        panel.got.clear();
        panel.answers[kOleDragEnter] = c.answer;
        panel.answers[kOleDragOver] = c.answer;
        QDragEnterEvent enter = Enter(c.offered);
        QCoreApplication::sendEvent(&panel, &enter);
        QDragMoveEvent over(QPoint(15, 40), c.offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&panel, &over);
        ASSERT_EQ(panel.got.size(), 2u);
        EXPECT_EQ(panel.got[0].message, kOleDragEnter);
        EXPECT_EQ(panel.got[0].info.m_pDataObject, &mime);
        EXPECT_EQ(panel.got[0].info.m_dwKeyState, uint32_t(kMkLButton | kMkControl));
        EXPECT_EQ(panel.got[0].info.m_x, 12);
        EXPECT_EQ(panel.got[0].info.m_y, 34);
        EXPECT_EQ(panel.got[1].message, kOleDragOver);
        EXPECT_EQ(panel.got[1].info.m_dwKeyState, uint32_t(kMkLButton));
        EXPECT_EQ(panel.got[1].info.m_y, 40);
        EXPECT_EQ(enter.isAccepted(), c.accepted);
        EXPECT_EQ(over.isAccepted(), c.accepted);
        if (c.accepted) EXPECT_EQ(enter.dropAction(), c.action);
    }
}

TEST_F(OleDropTest, ADropAsksWithTheEffectListThenPlainWhenAnsweredMinusOne) {
    struct Case {
        intptr_t exAnswer;
        intptr_t plainAnswer;
        size_t messages;
        bool accepted;
    };
    const Case cases[] = {
        {kDropEffectCopy, 0, 1, true},  // taken with the list
        {kDropEffectNone, 1, 1, false}, // refused with the list: no second question
        {-1, 1, 2, true},               // asked again, taken
        {-1, 0, 2, false},              // asked again, refused
    };
    for (const Case& c : cases) {
        panel.got.clear();
        panel.answers[kOleDropEx] = c.exAnswer;
        panel.answers[kOleDrop] = c.plainAnswer;
        // A drop comes to the window that took the drag.
        panel.answers[kOleDragEnter] = kDropEffectCopy;
        QDragEnterEvent enter = Enter(Qt::CopyAction | Qt::LinkAction);
        QCoreApplication::sendEvent(&panel, &enter);
        ASSERT_TRUE(enter.isAccepted());
        panel.got.clear();
        QDropEvent drop(QPointF(7, 8), Qt::CopyAction | Qt::LinkAction, &mime, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&panel, &drop);
        ASSERT_EQ(panel.got.size(), c.messages);
        EXPECT_EQ(panel.got[0].message, kOleDropEx);
        EXPECT_EQ(panel.got[0].info.m_dropEffect, int32_t(drop.proposedAction()));
        EXPECT_EQ(panel.got[0].info.m_dropEffectList, int32_t(Qt::CopyAction | Qt::LinkAction));
        EXPECT_EQ(panel.got[0].info.m_x, 7);
        if (c.messages == 2) {
            EXPECT_EQ(panel.got[1].message, kOleDrop);
            EXPECT_EQ(panel.got[1].info.m_dropEffect, int32_t(drop.proposedAction()));
            EXPECT_EQ(panel.got[1].info.m_dropEffectList, 0);
            EXPECT_EQ(panel.got[1].info.m_y, 8);
        }
        EXPECT_EQ(drop.isAccepted(), c.accepted);
    }
}

TEST_F(OleDropTest, LeaveSendsNoRecordAndARevokedPanelHearsNothing) {
    panel.answers[kOleDragEnter] = kDropEffectCopy;
    QDragEnterEvent first = Enter();
    QCoreApplication::sendEvent(&panel, &first);
    ASSERT_TRUE(first.isAccepted());
    panel.got.clear();
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(&panel, &leave);
    ASSERT_EQ(panel.got.size(), 1u);
    EXPECT_EQ(panel.got[0].message, kOleDragLeave);
    EXPECT_FALSE(panel.got[0].hasInfo);

    target.Revoke(&panel);
    QDragEnterEvent enter = Enter();
    QCoreApplication::sendEvent(&panel, &enter);
    EXPECT_EQ(panel.got.size(), 1u);
    EXPECT_FALSE(target.Register(nullptr));
}

TEST_F(OleDropTest, AReportViewKeepsItsOwnFileDrops) {
    CLumitraDoc doc;
    CLumitraView view(&doc);
    ASSERT_TRUE(target.Register(&view));
    int messages = 0;
    struct Counter : QObject {
        int* n;
        explicit Counter(int* c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (COleDropMsg::From(e)) ++*n;
            return false;
        }
    } counter(&messages);
    qApp->installEventFilter(&counter);

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.fcs"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());  // the view's own answer: local files
    QDragEnterEvent text = Enter();
    QCoreApplication::sendEvent(view.viewport(), &text);
    EXPECT_FALSE(text.isAccepted());
    EXPECT_EQ(messages, 0);
    qApp->removeEventFilter(&counter);
}

}  // namespace
