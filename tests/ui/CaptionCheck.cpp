#include "tests/ui/CaptionCheck.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QToolButton>

#include "settings/LanguageTable.h"
#include "tests/common/Languages.h"
#include "ui/ElidingLabel.h"
#include "util/Texts.h"
#include "widgets/ColorButton.h"

namespace pictrim::test {
namespace {

// A caption as it is drawn: "&&" is one "&", a lone "&" marks the accelerator.
QString Drawn(const QString& Caption) {
  QString text;
  for (int i = 0; i < Caption.size(); ++i) {
    if (Caption[i] == QLatin1Char('&') && i + 1 < Caption.size()) ++i;
    text += Caption[i];
  }
  return text;
}

std::string Name(const QWidget* Widget) {
  const QString name = Widget->objectName();
  return (name.isEmpty() ? QString::fromLatin1(Widget->metaObject()->className()) : name)
      .toStdString();
}

void Add(std::vector<TShownText>& Texts, const QWidget* Widget, const QString& Text) {
  if (!Text.isEmpty()) Texts.push_back({Name(Widget), Drawn(Text).toStdString()});
}

// The texts one control shows besides its hint.
void AddOwnTexts(std::vector<TShownText>& Texts, QWidget* Widget) {
  if (auto* label = qobject_cast<QLabel*>(Widget)) Add(Texts, Widget, label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(Widget)) Add(Texts, Widget, button->text());
  if (auto* colour = qobject_cast<TGradientColorButton*>(Widget))
    Add(Texts, Widget, colour->Caption());
  if (auto* group = qobject_cast<QGroupBox*>(Widget)) Add(Texts, Widget, group->title());
  if (auto* tabs = qobject_cast<QTabBar*>(Widget))
    for (int i = 0; i < tabs->count(); ++i) Add(Texts, Widget, tabs->tabText(i));
  if (auto* edit = qobject_cast<QLineEdit*>(Widget)) {
    Add(Texts, Widget, edit->text());
    Add(Texts, Widget, edit->placeholderText());
  }
  if (auto* spin = qobject_cast<QSpinBox*>(Widget)) Add(Texts, Widget, spin->specialValueText());
  if (auto* combo = qobject_cast<QComboBox*>(Widget)) {
    Add(Texts, Widget, combo->placeholderText());
    for (int i = 0; i < combo->count(); ++i) Add(Texts, Widget, combo->itemText(i));
  }
  if (auto* memo = qobject_cast<QPlainTextEdit*>(Widget)) Add(Texts, Widget, memo->toPlainText());
  if (Widget->isWindow()) Add(Texts, Widget, Widget->windowTitle());
}

int Advance(const QWidget* Widget, const QString& Caption) {
  return Widget->fontMetrics().horizontalAdvance(Drawn(Caption));
}

// The width a caption needs in its control; 0 when the control shows none
// to check.
int NeededWidth(QWidget* Widget) {
  if (dynamic_cast<TElidingLabel*>(Widget)) return 0;
  if (auto* label = qobject_cast<QLabel*>(Widget)) {
    if (label->text().isEmpty() || label->wordWrap()) return 0;
    return label->sizeHint().width();
  }
  if (auto* colour = qobject_cast<TGradientColorButton*>(Widget)) {
    if (colour->Caption().isEmpty()) return 0;
    return Advance(Widget, colour->Caption()) + 2 * (colour->BevelWidth() + 2);
  }
  if (auto* button = qobject_cast<QAbstractButton*>(Widget)) {
    if (button->text().isEmpty()) return 0;
    // Push buttons are never narrower than the style's least width, which
    // says nothing about their caption: the text, its icon and the margins.
    if (qobject_cast<QPushButton*>(Widget)) {
      const QStyle* style = Widget->style();
      const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
      return Advance(Widget, button->text()) + icon +
             2 * (style->pixelMetric(QStyle::PM_ButtonMargin) / 2 +
                  style->pixelMetric(QStyle::PM_DefaultFrameWidth));
    }
    return button->sizeHint().width();
  }
  if (auto* group = qobject_cast<QGroupBox*>(Widget)) {
    if (group->title().isEmpty()) return 0;
    return Advance(Widget, group->title()) + 8;
  }
  if (auto* spin = qobject_cast<QSpinBox*>(Widget)) return spin->sizeHint().width();
  if (auto* combo = qobject_cast<QComboBox*>(Widget)) {
    const QString shown =
        combo->currentIndex() < 0 ? combo->placeholderText() : combo->currentText();
    if (shown.isEmpty()) return 0;
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    const QSize text(Advance(Widget, shown), combo->fontMetrics().height());
    return combo->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, combo).width();
  }
  return 0;
}

void AddCutTabs(std::vector<std::string>& Cut, QTabBar* Tabs) {
  for (int i = 0; i < Tabs->count(); ++i) {
    const QRect tab = Tabs->tabRect(i);
    const int needed = Advance(Tabs, Tabs->tabText(i)) + 8;
    if (tab.width() < needed || tab.right() >= Tabs->width())
      Cut.push_back(Name(Tabs) + ": " + Tabs->tabText(i).toStdString() + " (needs " +
                    std::to_string(needed) + ", has " + std::to_string(tab.width()) + ")");
  }
}

std::vector<QWidget*> WindowAndControls(QWidget* Window) {
  std::vector<QWidget*> widgets{Window};
  for (QWidget* child : Window->findChildren<QWidget*>()) widgets.push_back(child);
  return widgets;
}

}  // namespace

std::vector<TShownText> ShownTexts(QWidget* Window) {
  std::vector<TShownText> texts;
  for (QWidget* widget : WindowAndControls(Window)) {
    AddOwnTexts(texts, widget);
    Add(texts, widget, widget->toolTip());
  }
  return texts;
}

std::vector<std::string> GermanTexts(QWidget* Window) {
  std::vector<std::string> german;
  for (const TShownText& text : ShownTexts(Window))
    if (LooksGerman(text.Text)) german.push_back(text.Control + ": " + text.Text);
  return german;
}

namespace {

// The built-in wordings that differ between the two languages, in the
// language Shown and in the other one.
struct TWordingPair {
  std::string Shown;
  std::string Other;
};

std::vector<TWordingPair> WordingPairs(TLanguage Shown) {
  std::vector<TWordingPair> pairs;
  const bool german = Shown == TLanguage::German;
  auto add = [&](const char* German, const char* English) {
    const std::string de = Drawn(QString::fromUtf8(German)).toStdString();
    const std::string en = Drawn(QString::fromUtf8(English)).toStdString();
    if (de != en) pairs.push_back(german ? TWordingPair{de, en} : TWordingPair{en, de});
  };
  for (const TTextRow& row : TextTable) add(row.German, row.English);
  for (const TLanguageRow& row : LanguageTable) add(row.German, row.English);
  return pairs;
}

// The fixed stretches of a wording: what stands between its placeholders.
std::vector<std::string> FixedStretches(const std::string& Wording) {
  std::vector<std::string> stretches(1);
  for (size_t i = 0; i < Wording.size(); ++i) {
    if (Wording[i] == '%' && i + 1 < Wording.size() && Wording[i + 1] >= '1' &&
        Wording[i + 1] <= '9') {
      stretches.emplace_back();
      ++i;
    } else {
      stretches.back() += Wording[i];
    }
  }
  return stretches;
}

bool MadeByOther(const std::string& Line, const TWordingPair& Pair) {
  if (Pair.Other.find_first_not_of(" %123456789") == std::string::npos) return false;
  if (TextArguments(Pair.Other, Line)) return true;
  constexpr size_t telling = 10;
  for (const std::string& stretch : FixedStretches(Pair.Other))
    if (stretch.size() >= telling && Line.find(stretch) != std::string::npos &&
        Pair.Shown.find(stretch) == std::string::npos)
      return true;
  return false;
}

}  // namespace

std::vector<std::string> TextsOfTheOtherLanguage(QWidget* Window, TLanguage Shown) {
  const std::vector<TWordingPair> pairs = WordingPairs(Shown);
  std::vector<std::string> other;
  for (const TShownText& text : ShownTexts(Window)) {
    for (const QString& line : QString::fromStdString(text.Text).split(QLatin1Char('\n'))) {
      const std::string shown = line.toStdString();
      for (const TWordingPair& pair : pairs) {
        if (!MadeByOther(shown, pair)) continue;
        other.push_back(text.Control + ": " + shown);
        break;
      }
    }
  }
  return other;
}

void SettleLayouts() {
  class TLayoutRequests : public QObject {
   public:
    int Seen = 0;
    bool eventFilter(QObject*, QEvent* Event) override {
      if (Event->type() == QEvent::LayoutRequest) ++Seen;
      return false;
    }
  } requests;
  QCoreApplication::instance()->installEventFilter(&requests);
  int seen = -1;
  while (seen != requests.Seen) {
    seen = requests.Seen;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  }
  QCoreApplication::instance()->removeEventFilter(&requests);
}

std::vector<std::string> CutCaptions(QWidget* Window) {
  SettleLayouts();
  std::vector<std::string> cut;
  for (QWidget* widget : WindowAndControls(Window)) {
    if (!widget->isVisible()) continue;
    if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
      AddCutTabs(cut, tabs);
      continue;
    }
    if (auto* label = qobject_cast<QLabel*>(widget);
        label && label->wordWrap() && !label->text().isEmpty() &&
        label->heightForWidth(label->contentsRect().width()) > label->contentsRect().height()) {
      cut.push_back(Name(widget) + ": " + label->text().toStdString() + " (wraps past its height)");
      continue;
    }
    const int needed = NeededWidth(widget);
    if (needed > widget->width()) {
      std::vector<TShownText> own;
      AddOwnTexts(own, widget);
      cut.push_back(Name(widget) + ": " + (own.empty() ? std::string() : own.front().Text) +
                    " (needs " + std::to_string(needed) + ", has " +
                    std::to_string(widget->width()) + ")");
    }
  }
  return cut;
}

}  // namespace pictrim::test
