#include "shell/qt/about_view.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/qt/application_termination.h"
#include "shell/qt/menu_bar_icons.h"

namespace corvane {

namespace {

constexpr double kTitleScale = 1.5;

// A centred line of text that wraps, so a long translation stays inside the fixed width.
QLabel* addText(QVBoxLayout& stack, const QString& text, int paddingTop, int paddingBottom) {
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    label->setContentsMargins(0, paddingTop, 0, paddingBottom);
    stack.addWidget(label);
    return label;
}

}  // namespace

AboutView::AboutView(QWidget* parent) : QWidget(parent) {
    auto* stack = new QVBoxLayout(this);

    auto* icon = new QLabel;
    icon->setPixmap(QPixmap::fromImage(applicationIcon()));
    stack->addWidget(icon, 0, Qt::AlignHCenter);

    QLabel* title = addText(*stack, tr("Corvane Client"), 4, 4);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * kTitleScale);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);

    addText(*stack, tr("Version %1").arg(QStringLiteral(CORVANE_VERSION)), 0, 4);
    addText(*stack, tr("© 2026 Corvane Software"), 0, 4);
    addText(*stack, tr("© 2026 the Corvane Client developers"), 0, 8);

    auto* quit = new QPushButton(tr("Quit Corvane Client"));
    connect(quit, &QPushButton::clicked, this, &terminateApplication);
    stack->addWidget(quit, 0, Qt::AlignHCenter);

    // Sizes depend on the style's fonts and margins, which polishing settles.
    ensurePolished();
    setFixedSize(kWidth, heightForWidth(kWidth));
}

}  // namespace corvane
