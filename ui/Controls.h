// Small helpers the parts of the main window share when they build their
// controls: names and hints, tight columns, the execute buttons and the edit
// that stands for the custom entry of a size group.
#pragma once

#include <QString>
#include <QStringList>
#include <QVBoxLayout>

#include <array>
#include <initializer_list>
#include <string>

#include "util/Texts.h"

class QAbstractButton;
class QLineEdit;

namespace pictrim {

class TGradientColorButton;
class TRadioGroup;

namespace controls {

// Heights at the design font (11 pixels); Scaled gives them at the font in use.
inline constexpr int EditHeight = 20;
inline constexpr int ExecuteHeight = 25;

// Design pixels at the font in use: a font grown with the screen's font
// resolution (QT_FONT_DPI, a desktop's text scaling) grows the controls
// with it; never less than the design.
int Scaled(int DesignPixels);

inline QString Q(const std::string& Text) {
  return QString::fromStdString(Text);
}
// A text of the language in use.
inline QString T(TTextId Id) {
  return Q(Text(Id));
}

// Gives a control its name and, when it has one, its hint.
template <typename T>
T* Named(T* Widget, const char* Name, const char* Hint = nullptr) {
  Widget->setObjectName(QString::fromLatin1(Name));
  if (Hint) Widget->setToolTip(QString::fromUtf8(Hint));
  return Widget;
}

// A vertical layout of Parent with equal margins all round.
QVBoxLayout* TightColumn(QWidget* Parent, int Margin = 0, int Spacing = 4);

void SetBold(QWidget* Widget, bool Bold);

// An execute button: the active-border colour as the base of its face,
// plain while disabled, a vertical gradient while enabled.
TGradientColorButton* ExecuteButton(const char* Name);

// Enter (and the keypad's Enter) presses Button while it has the focus, as
// Space does; outside dialogs Qt's buttons take only Space.
void PressOnEnter(QAbstractButton* Button);

// The edit that lies in the custom entry of a size group and stands for it.
QLineEdit* CustomSizeEdit(TRadioGroup* Group, int Entry, const char* Name);

// Gives the entries of a size group their captions: each preset's value put
// into Pattern ("%1 kB"); the custom entry (value 0) has no caption, its edit
// stands beside it.
void SetPresetCaptions(TRadioGroup* Group, const std::array<int, 8>& Presets,
                       const std::string& Pattern);

// The value of the selected entry of a size group; 0 for the custom entry or none.
int SelectedPreset(const TRadioGroup* Group, const std::array<int, 8>& Presets);

// The column of a size tab: Groups at the top, then room, then Button at the
// bottom; the shared folder and option area goes in after the groups.
QVBoxLayout* SizeTabColumn(QWidget* Tab, std::initializer_list<QWidget*> Groups, QWidget* Button);

// Puts the shared area into Column after its first Slot widgets, unless it is there already.
void InsertSharedArea(QVBoxLayout* Column, int Slot, QWidget* Area);

}  // namespace controls
}  // namespace pictrim
