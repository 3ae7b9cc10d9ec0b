#include "navigater.h"

#include "gui/navigaterlabel.h"

#include <QShortcut>
#include <QStackedWidget>

namespace {

const QString highlightedStyle = QStringLiteral("QLabel{background-color:rgb(17,150,238);color:rgb(255,255,255);}");
const QString plainStyle = QStringLiteral("QLabel{background-color:rgb(255,255,255);color:rgb(0,0,0);}");
// The entries' parent draws the focus: a frame that the entry's own colours leave alone.
const QString focusStyle
    = QStringLiteral("QLabel{border:2px solid transparent;}QLabel:focus{border:2px solid rgb(255,140,0);}");
constexpr int shortcutEntries = 9;

} // namespace

Navigater::Navigater(QStackedWidget *pages, const QList<NavigaterLabel *> &menuLabels, QObject *parent)
    : QObject(parent)
    , labels(menuLabels)
    , stack(pages)
{
    for (int i = 0; i < labels.size(); ++i) {
        NavigaterLabel *label = labels.at(i);
        label->setMargin(5);
        if (label->parentWidget())
            label->parentWidget()->setStyleSheet(focusStyle);
        connect(label, &NavigaterLabel::clicked, this, &Navigater::selected);
        connect(label, &NavigaterLabel::stepped, this, &Navigater::step);
        if (i < shortcutEntries) {
            auto *shortcut = new QShortcut(QKeySequence(int(Qt::CTRL) | (Qt::Key_1 + i)), stack->window());
            connect(shortcut, &QShortcut::activated, this, [this, i] {
                labels.at(i)->setFocus(Qt::ShortcutFocusReason);
                selected(i);
            });
            label->setAccessibleDescription(tr("打开此页（Ctrl+%1）").arg(i + 1));
        }
    }
    stack->setCurrentIndex(0);
    if (!labels.isEmpty()) {
        labels.first()->setStyleSheet(highlightedStyle);
        makeTabStop(0);
    }
}

void Navigater::makeTabStop(int index)
{
    // The menu is one stop in the Tab order, as a list is: Tab goes from the entry last used to
    // the page, and the arrows move within the menu.
    for (int i = 0; i < labels.size(); ++i)
        labels.at(i)->setFocusPolicy(i == index ? Qt::StrongFocus : Qt::ClickFocus);
}

void Navigater::selected(int index)
{
    if (index == currentIndex)
        return;
    currentIndex = index;
    for (NavigaterLabel *label : qAsConst(labels))
        label->setStyleSheet(plainStyle);
    if (index >= 0 && index < labels.size()) {
        labels.at(index)->setStyleSheet(highlightedStyle);
        makeTabStop(index);
    }
    stack->setCurrentIndex(index);
}

void Navigater::step(int from, int delta)
{
    // The menu is a short list: it wraps around at both ends.
    const int count = int(labels.size());
    const int to = ((from + delta) % count + count) % count;
    makeTabStop(to);
    labels.at(to)->setFocus(Qt::OtherFocusReason);
}
