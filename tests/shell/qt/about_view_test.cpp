#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QLayout>
#include <QPushButton>

#include <string>
#include <vector>

#include "event_loop.h"
#include "shell/qt/about_view.h"
#include "shell/qt/menu_bar_icons.h"

namespace corvane {
namespace {

using ::testing::ElementsAre;

std::string textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text().toStdString();
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        return "[" + button->text().toStdString() + "]";
    }
    return "?";
}

TEST(AboutViewTest, StacksIconNameVersionNoticesAndQuitButtonInOrder) {
    AboutView view;
    const QLayout& stack = *view.layout();
    ASSERT_EQ(stack.count(), 6);

    auto* icon = qobject_cast<QLabel*>(stack.itemAt(0)->widget());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->pixmap().size(), applicationIcon().size());

    std::vector<std::string> texts;
    for (int i = 1; i < stack.count(); ++i) {
        texts.push_back(textOf(stack.itemAt(i)->widget()));
    }
    EXPECT_THAT(texts,
                ElementsAre("Corvane Client", "Version " CORVANE_VERSION, "© 2026 Corvane Software",
                            "© 2026 the Corvane Client developers", "[Quit Corvane Client]"));

    const QWidget& title = *stack.itemAt(1)->widget();
    const QWidget& version = *stack.itemAt(2)->widget();
    EXPECT_GT(title.font().pointSizeF(), version.font().pointSizeF());
    EXPECT_TRUE(view.windowTitle().isEmpty());
}

TEST(AboutViewTest, IsExactly300WideNotResizableAndHoldsAllItsContent) {
    AboutView view;
    view.show();

    EXPECT_EQ(view.width(), 300);
    EXPECT_EQ(view.minimumSize(), view.size());
    EXPECT_EQ(view.maximumSize(), view.size());

    const QLayout& stack = *view.layout();
    for (int i = 0; i < stack.count(); ++i) {
        const QWidget& item = *stack.itemAt(i)->widget();
        SCOPED_TRACE(textOf(stack.itemAt(i)->widget()));
        EXPECT_TRUE(view.rect().contains(item.geometry()));
        const int needed = item.hasHeightForWidth() ? item.heightForWidth(item.width())
                                                    : item.minimumSizeHint().height();
        EXPECT_GE(item.height(), needed);
    }
}

TEST(AboutViewTest, QuitButtonEndsTheEventLoopNormally) {
    AboutView view;
    view.show();
    auto* quit = view.findChild<QPushButton*>();
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(testing::runEventLoop([quit] { quit->click(); }), 0);
}

}  // namespace
}  // namespace corvane
