#pragma once

#include <QWidget>

namespace corvane {

// The About window's content: the application's icon, name, version and copyright
// notices over a button that quits. Exactly kWidth wide, as tall as its content, not
// resizable, without a title.
class AboutView final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kWidth = 300;

    explicit AboutView(QWidget* parent = nullptr);
};

}  // namespace corvane
