#include "ui/SelectPathWindow.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/ScreenFit.h"
#include "util/MoreDialogs.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

// The dialog's size at the design font; it grows with larger fonts.
constexpr int ClientWidth = 373;
constexpr int ClientHeight = 209;

QString T(TTextId Id) {
  return QString::fromStdString(Text(Id));
}

QToolButton* FlatButton(TTextId Caption, const char* Name) {
  auto* button = new QToolButton;
  button->setObjectName(QString::fromLatin1(Name));
  button->setText(T(Caption));
  button->setAutoRaise(true);
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  return button;
}

// A folder the chooser may add: an absolute path (the chooser's empty answer
// on cancel is not one).
bool IsAbsoluteFolder(const std::string& Folder) {
  return !Folder.empty() && Folder[0] == '/';
}

}  // namespace

TPathWindow::TPathWindow(QComboBox* PathComboBox, QWidget* Parent)
    : QDialog(Parent), PathComboBox_(PathComboBox) {
  setWindowTitle(T(TTextId::PathWindowCaption));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  // The bevel holds the heading, the list and its two buttons; OK below it.
  Bevel1 = new QFrame;
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  LabelDescription = new QLabel(T(TTextId::PathListHeading));
  PathListBox = new QListWidget;
  PathListBox->setObjectName("PathListBox");
  PathListBox->setSelectionMode(QAbstractItemView::SingleSelection);
  QPalette menuColour = PathListBox->palette();
  menuColour.setColor(QPalette::Base, menuColour.color(QPalette::Window));
  PathListBox->setPalette(menuColour);
  AddPathButton = FlatButton(TTextId::AddPathCaption, "AddPathButton");
  connect(AddPathButton, &QToolButton::clicked, this, [this] { AddPathButtonClick(); });
  DeletePathButton = FlatButton(TTextId::DeletePathCaption, "DeletePathButton");
  connect(DeletePathButton, &QToolButton::clicked, this, [this] { DeletePathButtonClick(); });
  Button1 = new QPushButton("OK");
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(7);
  buttons->addWidget(AddPathButton);
  buttons->addWidget(DeletePathButton);
  auto* bevel = new QVBoxLayout(Bevel1);
  bevel->setContentsMargins(8, 8, 8, 8);
  bevel->setSpacing(4);
  bevel->addWidget(LabelDescription);
  bevel->addWidget(PathListBox, 1);
  bevel->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 12, 8);
  layout->setSpacing(15);
  layout->addWidget(Bevel1, 1);
  layout->addWidget(Button1);
  resize(QSize(ClientWidth, ClientHeight).expandedTo(minimumSizeHint()));

  FormCreate();
}

void TPathWindow::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  CentreOnParent(this, parentWidget());
}

void TPathWindow::FormCreate() {
  for (int i = 0; i < MaxFolders && i < PathComboBox_->count(); ++i) {
    const std::string folder = PathComboBox_->itemText(i).toStdString();
    if (FolderExists(folder)) AppendFolder(folder);
  }
  if (PathListBox->count() >= MaxFolders) AddPathButton->setEnabled(false);
}

void TPathWindow::AddPathButtonClick() {
  if (PathListBox->count() >= MaxFolders) return;
  std::string folder;
  SelectFolder(folder);
  if (!IsAbsoluteFolder(folder)) return;
  for (const std::string& listed : Folders()) {
    if (listed == folder) return;  // exact texts: letter case matters
  }
  AppendFolder(folder);
  if (PathListBox->count() >= MaxFolders) AddPathButton->setEnabled(false);
  DeletePathButton->setEnabled(true);
  PathComboBox_->setEnabled(true);
}

void TPathWindow::DeletePathButtonClick() {
  const QList<QListWidgetItem*> selected = PathListBox->selectedItems();
  if (!selected.isEmpty()) {
    delete PathListBox->takeItem(PathListBox->row(selected.front()));
    // Nothing is selected after a removal, so a second click removes nothing.
    PathListBox->setCurrentRow(-1);
    PathListBox->clearSelection();
  }
  if (PathListBox->count() < MaxFolders) AddPathButton->setEnabled(true);
  if (PathListBox->count() == 0) {
    DeletePathButton->setEnabled(false);
    PathComboBox_->setEnabled(false);
  }
}

std::vector<std::string> TPathWindow::Folders() const {
  std::vector<std::string> folders;
  for (int i = 0; i < PathListBox->count(); ++i) {
    folders.push_back(PathListBox->item(i)->text().toStdString());
  }
  return folders;
}

void TPathWindow::done(int Result) {
  FormClose();
  QDialog::done(Result);
}

void TPathWindow::FormClose() {
  PathComboBox_->clear();
  for (int i = 0; i < MaxFolders && i < PathListBox->count(); ++i) {
    PathComboBox_->addItem(PathListBox->item(i)->text());
  }
  // Adding items selects the first one; the combo's text stays empty until
  // the user picks a folder.
  PathComboBox_->setCurrentIndex(-1);
  if (PathComboBox_->isEditable()) PathComboBox_->clearEditText();
}

void TPathWindow::AppendFolder(const std::string& Folder) {
  PathListBox->addItem(QString::fromStdString(Folder));
}

}  // namespace pictrim
