#include "windows/ItemDrag.h"

#include "gui/QtText.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr uint64_t kPlugin = 0x0000000500000007;

CatalogItemPtr makeItem(uint32_t category, const wstr& target) {
    return std::make_shared<CatalogItem>(kPlugin, category, L"Label", L"", target,
                                         CatalogItem::accepted, false, CatalogItem::keepall, 0,
                                         L"");
}

wstr widePath(const std::filesystem::path& path) {
    return wstr::fromUtf8(path.string().c_str());
}

TEST(ItemDragPayload, AFileTravelsAsItsPercentEncodedUri) {
    qvtest::TempDir dir;
    const std::filesystem::path file =
        dir.write("two words/\xc3\xa9t\xc3\xa9 \xe2\x9c\x93.txt", "content");
    const CatalogItemPtr item = makeItem(CatalogItem::file, widePath(file));

    const std::unique_ptr<QMimeData> data = ItemDrag::payload(*item);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->formats(), QStringList{"text/uri-list"}) << "the file, not its path as text";
    const QByteArray uris = data->data("text/uri-list");
    const QByteArray expected = "file://" + QByteArray::fromStdString(dir.str()) +
                                "/two%20words/%C3%A9t%C3%A9%20%E2%9C%93.txt";
    EXPECT_EQ(uris.trimmed(), expected);
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_EQ(Gui::toWstr(data->urls()[0].toLocalFile()), item->target());
    EXPECT_EQ(ItemDrag::allowedActions(*item), Qt::CopyAction | Qt::LinkAction);

    const CatalogItemPtr missing =
        makeItem(CatalogItem::file, widePath(dir.path() / "not there.txt"));
    EXPECT_FALSE(ItemDrag::payload(*missing)) << "nothing to hand over";
}

TEST(ItemDragPayload, OtherItemsTravelAsTheirTargetText) {
    struct Case {
        uint32_t category;
        wstr target;
    };
    const Case cases[] = {
        {CatalogItem::url, L"https://example.org/search?q=caf\u00e9 au lait"},
        {CatalogItem::cmdline, L"ls -l \"/tmp/a b\""},
        {CatalogItem::keyword, L"kw"},
        {CatalogItem::expression, L"1+2"},
        {CatalogItem::error, L"error"},
    };
    for (const Case& c : cases) {
        const CatalogItemPtr item = makeItem(c.category, c.target);
        ASSERT_TRUE(ItemDrag::isDraggable(*item));
        const std::unique_ptr<QMimeData> data = ItemDrag::payload(*item);
        ASSERT_TRUE(data) << c.category;
        EXPECT_EQ(data->formats(), QStringList{"text/plain"}) << c.category;
        EXPECT_EQ(Gui::toWstr(data->text()), c.target);
        EXPECT_EQ(ItemDrag::allowedActions(*item), Qt::DropActions(Qt::CopyAction));
    }

    const CatalogItemPtr reference = makeItem(CatalogItem::reference, L"ref");
    EXPECT_FALSE(ItemDrag::isDraggable(*reference));
    EXPECT_FALSE(ItemDrag::payload(*reference));
}

// Under Xvfb: a drag started from one window and dropped with XTest on a
// line edit inserts the item's text there; Esc during a drag cancels it.
class ItemDragOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X display";
        source_.setGeometry(50, 50, 200, 100);
        target_.setGeometry(400, 50, 300, 40);
        source_.show();
        target_.show();
        ASSERT_TRUE(exposed());
    }

    bool exposed() {
        QElapsedTimer timer;
        timer.start();
        while (!source_.windowHandle()->isExposed() || !target_.windowHandle()->isExposed()) {
            if (timer.elapsed() > qvtest::slowMachineLimit.count())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    // Runs xdotool with the arguments once the drag's own loop runs.
    void whileDragging(QStringList arguments) {
        QTimer::singleShot(0, [this, arguments] { xdotool_.start("xdotool", arguments); });
    }

    // Presses the button over the source, as a user starting a drag would.
    void pressOnSource() {
        const QPoint at = source_.mapToGlobal(QPoint(100, 50));
        ASSERT_EQ(QProcess::execute("xdotool", {"mousemove", "--sync", QString::number(at.x()),
                                                QString::number(at.y()), "mousedown", "1"}),
                  0);
    }

    QApplication& app_ = qvtest::qtApp();
    QWidget source_;
    QLineEdit target_;
    QProcess xdotool_;
};

TEST_F(ItemDragOnDisplay, DroppingATextItemOnAnEditInsertsItsTarget) {
    pressOnSource();
    const QPoint drop = target_.mapToGlobal(QPoint(20, 20));
    const QString x = QString::number(drop.x());
    const QString y = QString::number(drop.y());
    whileDragging({"mousemove", "--sync", QString::number(drop.x() - 30), y, "mousemove", "--sync",
                   x, y, "mousemove", "--sync", QString::number(drop.x() + 5), y, "mouseup", "1"});
    const Qt::DropAction action =
        ItemDrag::start(&source_, makeItem(CatalogItem::url, L"https://example.org/dropped"));
    xdotool_.waitForFinished();
    EXPECT_EQ(action, Qt::CopyAction);
    EXPECT_EQ(target_.text(), "https://example.org/dropped");
}

TEST_F(ItemDragOnDisplay, EscapeCancelsTheDrag) {
    pressOnSource();
    const QPoint over = target_.mapToGlobal(QPoint(20, 20));
    whileDragging({"mousemove", "--sync", QString::number(over.x()), QString::number(over.y()),
                   "key", "Escape", "mouseup", "1"});
    const Qt::DropAction action =
        ItemDrag::start(&source_, makeItem(CatalogItem::cmdline, L"not dropped"));
    xdotool_.waitForFinished();
    EXPECT_EQ(action, Qt::IgnoreAction);
    EXPECT_TRUE(target_.text().isEmpty());
}

} // namespace
