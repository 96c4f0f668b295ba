#include <gmock/gmock.h>

#include <QLabel>
#include <QLayout>
#include <QPushButton>

#include <string>
#include <vector>

#include "shell/qt/about_view.h"
#include "shell/qt/menu_bar_icons.h"

namespace corvane {
namespace {

TEST(AboutViewTest, Fixed300WideUntitledWindowHoldsIconTextsAndQuitButtonInOrder) {
    AboutView view;
    view.show();
    EXPECT_TRUE(view.windowTitle().isEmpty());
    EXPECT_EQ(view.width(), 300);
    EXPECT_EQ(view.minimumSize(), view.size());
    EXPECT_EQ(view.maximumSize(), view.size());

    // Each item's text ("[text]" for a button); each lies inside the window at full height.
    const QLayout& stack = *view.layout();
    std::vector<std::string> texts;
    for (int i = 0; i < stack.count(); ++i) {
        const QWidget& item = *stack.itemAt(i)->widget();
        const auto* button = qobject_cast<const QPushButton*>(&item);
        const auto* label = qobject_cast<const QLabel*>(&item);
        texts.push_back(button ? "[" + button->text().toStdString() + "]"
                               : (label ? label->text().toStdString() : "?"));
        SCOPED_TRACE(texts.back());
        EXPECT_TRUE(view.rect().contains(item.geometry()));
        EXPECT_GE(item.height(), item.hasHeightForWidth() ? item.heightForWidth(item.width())
                                                          : item.minimumSizeHint().height());
    }
    ASSERT_THAT(texts, ::testing::ElementsAre("", "Corvane Client", "Version " CORVANE_VERSION,
                                              "© 2026 Corvane Software",
                                              "© 2026 the Corvane Client developers",
                                              "[Quit Corvane Client]"));
    EXPECT_EQ(qobject_cast<QLabel*>(stack.itemAt(0)->widget())->pixmap().size(),
              applicationIcon().size());
    EXPECT_GT(stack.itemAt(1)->widget()->font().pointSizeF(),
              stack.itemAt(2)->widget()->font().pointSizeF());
}

}  // namespace
}  // namespace corvane
