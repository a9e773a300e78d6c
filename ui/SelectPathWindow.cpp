#include "ui/SelectPathWindow.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QToolButton>

#include <algorithm>

#include "util/MoreDialogs.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

constexpr int ClientWidth = 373;
constexpr int ClientHeight = 209;

QString T(TTextId Id) {
  return QString::fromStdString(Text(Id));
}

QToolButton* FlatButton(TTextId Caption, const QRect& Geometry, QWidget* Parent) {
  auto* button = new QToolButton(Parent);
  button->setText(T(Caption));
  button->setAutoRaise(true);
  button->setGeometry(Geometry);
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
  setFixedSize(ClientWidth, ClientHeight);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Bevel1->setGeometry(16, 16, 345, 145);

  LabelDescription = new QLabel(T(TTextId::PathListHeading), this);
  LabelDescription->move(24, 24);

  PathListBox = new QListWidget(this);
  PathListBox->setObjectName("PathListBox");
  PathListBox->setGeometry(24, 40, 321, 81);
  PathListBox->setSelectionMode(QAbstractItemView::SingleSelection);
  QPalette menuColour = PathListBox->palette();
  menuColour.setColor(QPalette::Base, menuColour.color(QPalette::Window));
  PathListBox->setPalette(menuColour);

  AddPathButton = FlatButton(TTextId::AddPathCaption, QRect(24, 128, 161, 22), this);
  AddPathButton->setObjectName("AddPathButton");
  connect(AddPathButton, &QToolButton::clicked, this, [this] { AddPathButtonClick(); });

  DeletePathButton = FlatButton(TTextId::DeletePathCaption, QRect(192, 128, 153, 22), this);
  FitButtonsIntoTheBevel();
  DeletePathButton->setObjectName("DeletePathButton");
  connect(DeletePathButton, &QToolButton::clicked, this, [this] { DeletePathButtonClick(); });

  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(16, 176, 345, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  FormCreate();
}

void TPathWindow::FitButtonsIntoTheBevel() {
  // The two buttons share the row inside the bevel; when the font makes a
  // caption wider than its button, that button grows and the other one moves.
  const int left = AddPathButton->x();
  const int right = DeletePathButton->geometry().right();
  const int gap = DeletePathButton->x() - AddPathButton->geometry().right() - 1;
  const int addWidth = std::max(AddPathButton->width(), AddPathButton->sizeHint().width());
  AddPathButton->resize(addWidth, AddPathButton->height());
  const int deleteLeft = left + addWidth + gap;
  DeletePathButton->setGeometry(deleteLeft, DeletePathButton->y(), right - deleteLeft + 1,
                                DeletePathButton->height());
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
