#include "ui/Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <initializer_list>

#include "engine/BatchSupport.h"
#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "rename/FileRename.h"
#include "settings/CreateLanguageINI.h"
#include "ui/JobThread.h"
#include "ui/ElidingLabel.h"
#include "ui/Progress.h"
#include "ui/RadioGroup.h"
#include "ui/SelectPathWindow.h"
#include "util/MoreDialogs.h"
#include "widgets/ColorButton.h"

namespace pictrim {
namespace {

// Window and panel sizes. The stand-in face of the window font runs wider
// than the original's, so the window is a little wider than 394 pixels to keep
// every caption whole.
constexpr int ClientWidth = 420;
constexpr int ClientHeight = 395;
constexpr int PageWidth = 403;
constexpr int PageHeight = 361;
constexpr int SlotSize = 50;
constexpr int EditHeight = 20;
constexpr int ExecuteHeight = 25;
const QColor EmptySlotColor(241, 241, 241);

// Values of the preset entries; 0 marks the custom entry, whose number comes
// from its edit.
constexpr std::array<int, 8> PixelPresets = {1920, 1024, 800, 0, 640, 400, 160, 64};
constexpr std::array<int, 8> KilobytePresets = {200, 100, 50, 40, 0, 20, 10, 5};
constexpr int CustomPixelEntry = 3;
constexpr int CustomKilobyteEntry = 4;
// The rename modes of the three date formats.
constexpr std::array<uint8_t, 3> RenameModes = {1, 2, 6};

// Where the shared folder and option controls go in the layouts of tabs 1 and 2.
constexpr int SharedSlotTab1 = 2;
constexpr int SharedSlotTab2 = 1;

constexpr const char* NoFolderText = "- Bitte Verzeichnis wählen -";
constexpr const char* FolderChosenText = "Letzte Aktion = Verzeichnis gewählt";

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

// Gives a control its name and, when it has one, its hint.
template <typename T>
T* Named(T* Widget, const char* Name, const char* Hint = nullptr) {
  Widget->setObjectName(QString::fromLatin1(Name));
  if (Hint) Widget->setToolTip(QString::fromUtf8(Hint));
  return Widget;
}

QVBoxLayout* TightColumn(QWidget* Parent, int Margin = 0, int Spacing = 4) {
  auto* layout = new QVBoxLayout(Parent);
  layout->setContentsMargins(Margin, Margin, Margin, Margin);
  layout->setSpacing(Spacing);
  return layout;
}

QPixmap EmptySlot() {
  QPixmap pixmap(SlotSize, SlotSize);
  pixmap.fill(EmptySlotColor);
  return pixmap;
}

// An execute button: "Größe ändern AUSFÜHREN" on the active-border colour as
// the base of its face, plain while disabled, a vertical gradient while enabled.
TGradientColorButton* ExecuteButton(const char* Name) {
  auto* button = Named(new TGradientColorButton, Name);
  button->SetCaption(QStringLiteral("Größe ändern AUSFÜHREN"));
  button->SetColor(TSystemColor::ActiveBorder);
  button->setFixedHeight(ExecuteHeight);
  return button;
}

// The edit that lies in the custom entry of a size group and stands for it.
QLineEdit* CustomSizeEdit(TRadioGroup* Group, int Entry, const char* Name) {
  auto* edit = Named(new QLineEdit, Name);
  edit->setFixedSize(49, EditHeight);
  Group->AddToItem(Entry, edit);
  return edit;
}

// The entries of a size group: each preset's value with Unit; the custom
// entry has no caption, its edit stands beside it.
QStringList PresetCaptions(const std::array<int, 8>& Presets, const char* Unit) {
  QStringList captions;
  for (const int value : Presets)
    captions << (value == 0 ? QString()
                            : QStringLiteral("%1 %2").arg(value).arg(QLatin1String(Unit)));
  return captions;
}

// A tab of the resize or the file-size job: Groups at the top (the shared
// folder and option area is put in after them), then room, then Button at the
// bottom. Layout receives the tab's column.
QWidget* SizeTab(const char* Name, QVBoxLayout*& Layout, std::initializer_list<QWidget*> Groups,
                 QWidget* Button) {
  auto* tab = Named(new QWidget, Name);
  Layout = TightColumn(tab, 6, 3);
  for (QWidget* group : Groups) Layout->addWidget(group);
  Layout->addStretch(1);
  Layout->addWidget(Button);
  return tab;
}

void SetBold(QWidget* Widget, bool Bold) {
  QFont font = Widget->font();
  font.setBold(Bold);
  Widget->setFont(font);
}

}  // namespace

std::optional<int> ClampedInteger(const std::string& Text, int Min, int Max) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  if (i == Text.size()) return std::nullopt;
  long long value = 0;  // saturates far above any bound
  for (; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = std::min<long long>(value * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, Min, Max));
}

QImage PreviewThumbnail(const std::string& Path) {
  try {
    TJpegImage jpeg;
    jpeg.LoadFromFile(Path);
    const QImage reduced = jpeg.ToReducedBitmap(SlotSize, SlotSize);
    if (reduced.isNull()) return {};
    return reduced.scaled(SlotSize, SlotSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  } catch (...) {
    return {};
  }
}

// ---------------------------------------------------------------------------
// Building the window

TMainForm::TMainForm(QWidget* Parent) : QMainWindow(Parent) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Pictrim"));
  PathCaption1_ = QStringLiteral("Verzeichnis wählen");
  PathCaption2_ = QStringLiteral("Verzeichnis-Liste bearbeiten");
  BuildWindow();
  ConnectHandlers();
  ProgressWin_ = std::make_unique<TProgressWin>(ErrorLog_);
  Target_ = std::make_unique<TWindowBatchTarget>(
      [this](const TBatchMessage& Message) { HandleNotification(Message); });
  Jobs_ = std::make_unique<TJobThread>();
}

TMainForm::~TMainForm() {
  // A job still running reports to this window; it has to end first.
  if (Jobs_ && Jobs_->Running()) {
    CancelRequested = true;
    Jobs_->WaitWhileHandlingEvents();
  }
}

void TMainForm::BuildWindow() {
  // A fixed frame: no maximise button, no resizing; still a main window for
  // the task bar.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(8, 8, ClientWidth - 8 - PageWidth, 0);
  MainStack = Named(new QStackedWidget(central), "MainStack");
  MainStack->setFixedSize(PageWidth, PageHeight);
  layout->addWidget(MainStack);
  layout->addStretch(1);
  setCentralWidget(central);

  PageControl1 = Named(new QTabWidget, "PageControl1");
  PageControl1->setDocumentMode(false);
  TabSheet1 = BuildResizeTab();
  TabSheet2 = BuildFileSizeTab();
  TabSheet3 = BuildRenameTab();
  PageControl1->addTab(TabSheet1, QStringLiteral("Größe ändern"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Dateigröße ändern"));
  PageControl1->addTab(TabSheet3, QStringLiteral("Dateinamen anpassen"));
  SharedArea_ = BuildSharedArea();
  Tab1Layout_->insertWidget(SharedSlotTab1, SharedArea_);
  MainStack->addWidget(PageControl1);
  MainStack->addWidget(BuildProgressPanel());
  MainStack->setCurrentWidget(PageControl1);

  auto* status = Named(new QStatusBar(this), "StatusBar1");
  status->setSizeGripEnabled(false);
  StatusPanel = Named(new TElidingLabel(QStringLiteral("Letzte Aktion = ")), "StatusPanel");
  StatusPanel->setMinimumWidth(1);
  status->addWidget(StatusPanel, 1);
  AccountPanel = Named(new QLabel, "AccountPanel");
  status->addPermanentWidget(AccountPanel);
  setStatusBar(status);
  setFixedSize(ClientWidth, ClientHeight);
  SetExecuteButtons(false);
}

QWidget* TMainForm::BuildResizeTab() {
  RadioGroup4 = Named(new TRadioGroup(QStringLiteral("maximale ..."),
                                      {QStringLiteral("Breite (X)"), QStringLiteral("Höhe (Y)"),
                                       QStringLiteral("Breite und Höhe ")},
                                      3),
                      "RadioGroup4");
  RadioGroup4->SetItemIndex(0);
  RadioGroup1 =
      Named(new TRadioGroup(QStringLiteral("Pixel"), PresetCaptions(PixelPresets, "Pixel"), 3),
            "RadioGroup1", "Hier stellen Sie die maximale Seitenlänge eines Bildes ein.");
  SizeEdit1 = CustomSizeEdit(RadioGroup1, CustomPixelEntry, "SizeEdit1");
  ResizeButton1 = ExecuteButton("ResizeButton1");
  return SizeTab("TabSheet1", Tab1Layout_, {RadioGroup4, RadioGroup1}, ResizeButton1);
}

QWidget* TMainForm::BuildFileSizeTab() {
  RadioGroup2 =
      Named(new TRadioGroup(QStringLiteral("Dateigröße"), PresetCaptions(KilobytePresets, "kB"), 2),
            "RadioGroup2", "Hier stellen Sie die Dateigröße ein.");
  SizeEdit2 = CustomSizeEdit(RadioGroup2, CustomKilobyteEntry, "SizeEdit2");
  ResizeButton2 = ExecuteButton("ResizeButton2");
  return SizeTab("TabSheet2", Tab2Layout_, {RadioGroup2}, ResizeButton2);
}

// The folder choice and the options, shown on whichever of tabs 1 and 2 is active.
QWidget* TMainForm::BuildSharedArea() {
  auto* area = Named(new QWidget, "SharedArea");
  auto* layout = TightColumn(area, 0, 3);

  PathRadioGroup = Named(new TRadioGroup(QString(),
                                         {QStringLiteral("Dummy"), QStringLiteral("auswählen"),
                                          QStringLiteral("aus Liste")},
                                         1),
                         "PathRadioGroup");
  // The placeholder entry keeps its index but is never seen or chosen.
  PathRadioGroup->Item(0)->hide();
  PathButton = Named(new QPushButton(PathCaption1_), "PathButton");
  PathButton->setFixedSize(145, 21);
  LanguageComboBox1 = Named(new QComboBox, "LanguageComboBox1");
  LanguageComboBox1->setMinimumWidth(110);
  LanguageComboBox1->setFixedHeight(21);
  PathRadioGroup->AddToItem(0, PathButton);
  PathRadioGroup->ItemCell(0)->addWidget(LanguageComboBox1);
  PathEdit = Named(new QLineEdit, "PathEdit");
  PathEdit->setReadOnly(true);
  PathEdit->setFixedHeight(EditHeight);
  PathRadioGroup->AddToItem(1, PathEdit, 1);
  PathComboBox = Named(new QComboBox, "PathComboBox");
  PathComboBox->setEditable(true);
  PathComboBox->setFixedHeight(EditHeight + 1);
  PathComboBox->setInsertPolicy(QComboBox::NoInsert);
  PathComboBox->setEnabled(false);
  PathComboBox->installEventFilter(this);
  PathComboBox->lineEdit()->installEventFilter(this);
  PathRadioGroup->AddToItem(2, PathComboBox, 1);
  layout->addWidget(PathRadioGroup);

  OptionsGroupBox = Named(new QGroupBox(QStringLiteral("Optionen")), "OptionsGroupBox");
  auto* options = TightColumn(OptionsGroupBox, 6, 0);
  options->setContentsMargins(6, 0, 6, 2);
  OverwriteCheckBox = Named(
      new QCheckBox(QStringLiteral("Dateien überschreiben falls schon vorhanden")),
      "OverwriteCheckBox");
  TextCheckBox = Named(new QCheckBox(QStringLiteral("Text ins Bild einkopieren :")),
                       "TextCheckBox");
  PictureText = Named(new QLineEdit, "PictureText");
  PictureText->setMaxLength(255);
  PictureText->setFixedHeight(EditHeight);
  PictureText->setEnabled(false);
  CheckBoxTop = Named(new QCheckBox(QStringLiteral("Text oben")), "CheckBoxTop");
  CheckBoxTop->setEnabled(false);
  CheckBoxBottom = Named(new QCheckBox(QStringLiteral("Text unten")), "CheckBoxBottom");
  CheckBoxBottom->setEnabled(false);
  auto* textRow = new QHBoxLayout;
  textRow->addWidget(TextCheckBox);
  textRow->addWidget(PictureText, 1);
  auto* positionRow = new QHBoxLayout;
  positionRow->addWidget(CheckBoxTop);
  positionRow->addSpacing(16);
  positionRow->addWidget(CheckBoxBottom);
  positionRow->addStretch(1);
  options->addWidget(OverwriteCheckBox);
  options->addLayout(textRow);
  options->addLayout(positionRow);
  layout->addWidget(OptionsGroupBox);
  return area;
}

QWidget* TMainForm::BuildRenameTab() {
  auto* tab = Named(new QWidget, "TabSheet3");
  auto* layout = TightColumn(tab, 6, 6);
  GroupBox4 = Named(new QGroupBox(QStringLiteral("Datum im Dateinamen anpassen")), "GroupBox4");
  GroupBox4->setAutoFillBackground(true);
  QPalette white = GroupBox4->palette();
  white.setColor(QPalette::Window, Qt::white);
  GroupBox4->setPalette(white);
  SetBold(GroupBox4, true);
  auto* info = TightColumn(GroupBox4, 6, 1);
  const std::array<const char*, 5> texts = {
      "Die Änderung des Datums im Dateinamen funktioniert zur Zeit ",
      "nur für drei Formate (CASIO, \"IMGxxxx\" und \"Olympus\")",
      "Haben Ihre Bilder im Dateinamen ein anderes Datumsformat ?",
      nullptr,  // Label11 names the support address
      "am besten mit Beispiel-Bilddatei !"};
  const std::string support = std::string("Bitte senden Sie eine Email an ") + SupportAddress + "!";
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::string name = "Label" + std::to_string(8 + i);
    InfoLabels[i] = new QLabel(QString::fromUtf8(texts[i] ? texts[i] : support.c_str()));
    InfoLabels[i]->setObjectName(Q(name));
    InfoLabels[i]->setWordWrap(true);
    SetBold(InfoLabels[i], false);
    info->addWidget(InfoLabels[i]);
  }
  RadioGroup3 = Named(
      new TRadioGroup(QStringLiteral("Neues Datumsformat im Datei-Namen"),
                      {QStringLiteral("2006-01-28  0001  = Jahr-Monat-Tag  Nummer"),
                       QStringLiteral("20060128042723  = Jahr-Monat-Tag-Stunde-Minute-Sekunde"),
                       QStringLiteral("wie zuvor - aber mit angehängtem altem Dateinamen")},
                      1),
      "RadioGroup3");
  GroupBox5 = Named(new QGroupBox(QStringLiteral("Einstellungen")), "GroupBox5");
  SetBold(GroupBox5, true);
  GroupBox5Layout_ = TightColumn(GroupBox5, 8, 2);
  EditFileNameButton = Named(new QToolButton, "EditFileNameButton");
  EditFileNameButton->setText(QStringLiteral("Ausführen"));
  EditFileNameButton->setAutoRaise(true);
  // Flat, with an icon so that it still reads as a button.
  EditFileNameButton->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  EditFileNameButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  EditFileNameButton->setFixedHeight(ExecuteHeight);
  layout->addWidget(GroupBox4);
  layout->addWidget(RadioGroup3);
  layout->addWidget(GroupBox5);
  layout->addStretch(1);
  layout->addWidget(EditFileNameButton, 0, Qt::AlignHCenter);
  return tab;
}

QWidget* TMainForm::BuildProgressPanel() {
  ProgressPanel = Named(new QFrame, "ProgressPanel");
  ProgressPanel->setFrameShape(QFrame::StyledPanel);
  ProgressPanel->setAutoFillBackground(true);
  QPalette light = ProgressPanel->palette();
  light.setColor(QPalette::Window, QColor(227, 227, 227));
  ProgressPanel->setPalette(light);
  auto* layout = TightColumn(ProgressPanel, 8, 8);

  ProgressLabel = Named(new QLabel(QStringLiteral("Fortschritt:")), "ProgressLabel");
  PreViewCheckBox = Named(new QCheckBox(QStringLiteral("Vorschau anzeigen")), "PreViewCheckBox");
  PreViewCheckBox->setChecked(true);
  auto* top = new QHBoxLayout;
  top->addWidget(ProgressLabel, 1);
  top->addWidget(PreViewCheckBox);
  layout->addLayout(top);

  FileNameLabel = Named(new TElidingLabel(QStringLiteral("FileName")), "FileNameLabel");
  FileNameLabel->setFixedWidth(PageWidth - 16);
  FileNameLabel->setTextFormat(Qt::PlainText);
  layout->addWidget(FileNameLabel);
  ProgressBar1 = Named(new QProgressBar, "ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  layout->addWidget(ProgressBar1);

  Panel2 = Named(new QFrame, "Panel2");
  Panel2->setFrameShape(QFrame::StyledPanel);
  auto* strip = new QHBoxLayout(Panel2);
  strip->setContentsMargins(8, 8, 8, 8);
  strip->setSpacing(10);
  for (size_t i = 0; i < ImgViews.size(); ++i) {
    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    ImgViews[i] = new QLabel;
    ImgViews[i]->setObjectName(QStringLiteral("ImgView0%1").arg(i + 1));
    ImgViews[i]->setFixedSize(SlotSize, SlotSize);
    ImgViews[i]->setPixmap(EmptySlot());
    NumLabels[i] = new QLabel(QString::number(i + 1));
    NumLabels[i]->setObjectName(QStringLiteral("NumLabel%1").arg(i + 1));
    NumLabels[i]->setAlignment(Qt::AlignHCenter);
    SetBold(NumLabels[i], true);
    column->addWidget(ImgViews[i], 0, Qt::AlignHCenter);
    column->addWidget(NumLabels[i]);
    strip->addLayout(column);
  }
  layout->addStretch(1);
  layout->addWidget(Panel2, 0, Qt::AlignHCenter);
  layout->addStretch(2);

  AbbrechenBitBtn = Named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                          QStringLiteral("abbrechen")),
                          "AbbrechenBitBtn");
  AbbrechenBitBtn->setMinimumWidth(100);
  layout->addWidget(AbbrechenBitBtn, 0, Qt::AlignHCenter);
  return ProgressPanel;
}

void TMainForm::ConnectHandlers() {
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageControl1Change(); });
  connect(RadioGroup1, &TRadioGroup::Click, this, &TMainForm::RadioGroup1Click);
  connect(RadioGroup2, &TRadioGroup::Click, this, &TMainForm::RadioGroup2Click);
  connect(SizeEdit1, &QLineEdit::textChanged, this, [this] { SizeEdit1Change(SizeEdit1); });
  connect(SizeEdit2, &QLineEdit::textChanged, this, [this] { SizeEdit1Change(SizeEdit2); });
  connect(TextCheckBox, &QCheckBox::toggled, this, &TMainForm::TextCheckBoxClick);
  connect(CheckBoxTop, &QCheckBox::toggled, this, &TMainForm::CheckBoxTopClick);
  connect(CheckBoxBottom, &QCheckBox::toggled, this, &TMainForm::CheckBoxBottomClick);
  connect(PathRadioGroup, &TRadioGroup::Click, this, &TMainForm::PathRadioGroupClick);
  connect(PathButton, &QPushButton::clicked, this, &TMainForm::PathButtonClick);
  connect(PathComboBox, &QComboBox::activated, this, &TMainForm::PathComboBoxClick);
  connect(ResizeButton1, &TGradientColorButton::Clicked, this, &TMainForm::ResizeButton1Click);
  connect(ResizeButton2, &TGradientColorButton::Clicked, this, &TMainForm::JPEGbutton2Click);
  connect(EditFileNameButton, &QToolButton::clicked, this, &TMainForm::EditFileNameButtonClick);
  connect(AbbrechenBitBtn, &QPushButton::clicked, this, &TMainForm::AbbrechenBitBtnClick);
  connect(PreViewCheckBox, &QCheckBox::toggled, this, &TMainForm::PreViewCheckBoxClick);
  connect(LanguageComboBox1, &QComboBox::activated, this, &TMainForm::LanguageComboBox1Change);
}

// ---------------------------------------------------------------------------
// Start and end

void TMainForm::FormCreate() {
  setWindowTitle(QString::fromLatin1(MainCaption));
  ApplySettingsAndLanguage();
}

void TMainForm::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (Shown_) return;
  Shown_ = true;
  FormShow();
}

void TMainForm::FormShow() {
  PathComboBox->setEditText(QString());
  PageControl1Change();
}

void TMainForm::closeEvent(QCloseEvent* Event) {
  // While a job is being wound up the window stays; a second close changes nothing.
  if (Closing_ || Renaming_) {
    Event->ignore();
    return;
  }
  if (Jobs_->Running()) {
    Closing_ = true;
    CancelRequested = true;
    Jobs_->WaitWhileHandlingEvents();
    Closing_ = false;
  }
  SaveSettingsNow();
  ProgressWin_->hide();
  Event->accept();
}

// ---------------------------------------------------------------------------
// Handlers of the tabs

void TMainForm::PageControl1Change() {
  const int page = PageControl1->currentIndex();
  if (page == 0 || page == 1) {
    QVBoxLayout* target = page == 0 ? Tab1Layout_ : Tab2Layout_;
    if (SharedArea_->parentWidget() != target->parentWidget()) {
      if (QLayout* old = SharedArea_->parentWidget()->layout()) old->removeWidget(SharedArea_);
      target->insertWidget(page == 0 ? SharedSlotTab1 : SharedSlotTab2, SharedArea_);
      SharedArea_->show();
    }
    PlaceLanguageCombo(nullptr, nullptr);
  } else {
    PlaceLanguageCombo(GroupBox5, GroupBox5Layout_);
  }
}

// Puts the language box into Layout of Parent, or back beside PathButton.
void TMainForm::PlaceLanguageCombo(QWidget* Parent, QVBoxLayout* Layout) {
  QHBoxLayout* home = PathRadioGroup->ItemCell(0);
  if (Parent == nullptr) {
    if (LanguageComboBox1->parentWidget() == PathRadioGroup) return;
    GroupBox5Layout_->removeWidget(LanguageComboBox1);
    home->addWidget(LanguageComboBox1);
  } else {
    if (LanguageComboBox1->parentWidget() == Parent) return;
    home->removeWidget(LanguageComboBox1);
    Layout->addWidget(LanguageComboBox1, 0, Qt::AlignLeft);
  }
  LanguageComboBox1->show();
}

void TMainForm::RadioGroup1Click() {
  const int index = RadioGroup1->ItemIndex();
  PresetPixels = index >= 0 ? PixelPresets[index] : 0;
}

void TMainForm::RadioGroup2Click() {
  const int index = RadioGroup2->ItemIndex();
  PresetKilobytes = index >= 0 ? KilobytePresets[index] : 0;
}

void TMainForm::SizeEdit1Change(QLineEdit* Sender) {
  if (Sender == SizeEdit1)
    RadioGroup1->SetItemIndex(CustomPixelEntry);
  else
    RadioGroup2->SetItemIndex(CustomKilobyteEntry);
}

void TMainForm::TextCheckBoxClick() {
  const bool on = TextCheckBox->isChecked();
  PictureText->setEnabled(on);
  CheckBoxTop->setEnabled(on);
  CheckBoxBottom->setEnabled(on);
  if (on && !CheckBoxTop->isChecked() && !CheckBoxBottom->isChecked())
    CheckBoxTop->setChecked(true);
}

void TMainForm::CheckBoxTopClick() {
  if (!CheckBoxTop->isChecked() && !CheckBoxBottom->isChecked()) CheckBoxBottom->setChecked(true);
}

void TMainForm::CheckBoxBottomClick() {
  if (!CheckBoxTop->isChecked() && !CheckBoxBottom->isChecked()) CheckBoxTop->setChecked(true);
}

std::string TMainForm::StampTextForJob() const {
  return TextCheckBox->isChecked() ? PictureText->text().toStdString() : std::string();
}

uint8_t TMainForm::StampPosition() const {
  return static_cast<uint8_t>((CheckBoxTop->isChecked() ? TextAtTop : 0) |
                              (CheckBoxBottom->isChecked() ? TextAtBottom : 0));
}

// ---------------------------------------------------------------------------
// Folder choice

void TMainForm::PathRadioGroupClick() {
  if (PathRadioGroup->ItemIndex() == 0) {
    PathRadioGroup->SetItemIndex(1);  // runs this handler for entry 1
    return;
  }
  const bool chooser = PathRadioGroup->ItemIndex() == 1;
  PathEdit->setVisible(chooser);
  PathComboBox->setVisible(!chooser);
  PathButton->setText(chooser ? PathCaption1_ : PathCaption2_);
  PathEdit->clear();
  PathComboBox->setEditText(QString());
  SetExecuteButtons(false);
}

void TMainForm::PathButtonClick() {
  SetExecuteButtons(false);
  if (PathRadioGroup->ItemIndex() == 1) {
    std::string chosen;
    SelectFolderFrom(PathEdit->text().toStdString(), chosen);
    SourceFolder = chosen;
    // A cancelled chooser leaves the last status as it was.
    if (chosen.empty()) return;
    PathEdit->setText(Q(chosen));
    SetExecuteButtons(true);
  } else {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TPathWindow window(PathComboBox, this);
    QApplication::restoreOverrideCursor();
    window.exec();
    PathComboBox->showPopup();
    PathComboBox->setEditText(QString());
  }
  SetStatus(FolderChosenText);
}

void TMainForm::PathComboBoxClick(int Index) {
  SourceFolder = Index >= 0 ? PathComboBox->itemText(Index).toStdString() : std::string();
  if (!SourceFolder.empty()) SetExecuteButtons(true);
}

void TMainForm::PathComboBoxKeyUp() {
  if (PathComboBox->currentText().isEmpty())
    PathComboBox->setEditText(QString::fromUtf8(NoFolderText));
}

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::KeyRelease &&
      (Watched == PathComboBox || Watched == PathComboBox->lineEdit()))
    PathComboBoxKeyUp();
  return QMainWindow::eventFilter(Watched, Event);
}

// ---------------------------------------------------------------------------
// Jobs

void TMainForm::SetExecuteButtons(bool Enabled) {
  for (TGradientColorButton* button : {ResizeButton1, ResizeButton2}) {
    button->setEnabled(Enabled);
    button->SetGradientStyle(Enabled ? TGradientStyle::gsVertical : TGradientStyle::gsNone);
  }
}

void TMainForm::SetStatus(const std::string& Text) { StatusPanel->SetText(Q(Text)); }

bool TMainForm::JobRunning() const { return Renaming_ || Jobs_->Running(); }

void TMainForm::WaitForJob() { Jobs_->WaitWhileHandlingEvents(); }

void TMainForm::SetNotificationObserver(std::function<void(const TBatchMessage&)> Observer) {
  Observer_ = std::move(Observer);
}

bool TMainForm::StartCommon() {
  if (JobRunning() || SourceFolder.empty()) return false;
  CancelRequested = false;
  SetExecuteButtons(false);
  PathComboBox->setEditText(QString());
  PathEdit->clear();
  // A favourite (or a chosen folder) may have gone since it was picked; a
  // job on it would report a run over nothing as done.
  if (!FolderExists(SourceFolder)) {
    ShowMessage("Das Verzeichnis " + SourceFolder + " gibt es nicht.");
    return false;
  }
  return true;
}

std::optional<int> TMainForm::CustomSize(QLineEdit* Edit, int Min, int Max) {
  const std::string text = Edit->text().toStdString();
  const std::optional<int> size = ClampedInteger(text, Min, Max);
  if (!size) {
    ShowMessage("Bitte geben Sie statt " + text + " eine Zahl ein");
    return std::nullopt;
  }
  Edit->setText(QString::number(*size));
  return size;
}

void TMainForm::ResizeButton1Click() {
  if (!StartCommon()) return;
  int size = PresetPixels;
  if (size == 0) {
    const std::optional<int> custom = CustomSize(SizeEdit1, MinCustomPixels, MaxCustomPixels);
    if (!custom) return;
    size = *custom;
  }
  const int edge = RadioGroup4->ItemIndex();
  MaxWidth = edge == 1 ? 0 : static_cast<uint32_t>(size);
  MaxHeight = edge == 1 || edge == 2 ? static_cast<uint32_t>(size) : 0;
  OutputFolder.clear();
  Overwrite = OverwriteCheckBox->isChecked();
  RunJob([Source = SourceFolder, Output = OutputFolder, W = MaxWidth, H = MaxHeight,
          Text = StampTextForJob(), Position = StampPosition(),
          Replace = Overwrite](TBatchTarget& Target, TErrorLog& Log, TJobAccount& Account) {
    ConvertPICsWholeTree(&Target, Source, Output, W, H, Text, Position, WM_BATCH_PROGRESS,
                         WM_BATCH_FILE, Replace, Log, &Account);
  });
}

void TMainForm::JPEGbutton2Click() {
  if (!StartCommon()) return;
  int target = PresetKilobytes;
  if (target == 0) {
    const std::optional<int> custom =
        CustomSize(SizeEdit2, MinCustomKilobytes, MaxCustomKilobytes);
    if (!custom) return;
    target = *custom;
  }
  RunJob([Source = SourceFolder, KB = static_cast<uint32_t>(target), Text = StampTextForJob(),
          Position = StampPosition(), Replace = OverwriteCheckBox->isChecked()](
             TBatchTarget& Target, TErrorLog& Log, TJobAccount& Account) {
    ConvertPICsWholeTree2(&Target, Source, "", "", KB, Text, Position, WM_BATCH_PROGRESS,
                          WM_BATCH_FILE, Replace, false, Log, &Account);
  });
}

void TMainForm::RunJob(std::function<void(TBatchTarget&, TErrorLog&, TJobAccount&)> Job) {
  JobLog_.clear();
  JobAccount_ = {};
  AccountPanel->clear();
  Jobs_->Start(
      [this, Job = std::move(Job)] {
        try {
          Job(*Target_, JobLog_, JobAccount_);
        } catch (const std::exception& Error) {
          AddErrorLogEntry(Error.what(), JobLog_);
        }
      },
      [this] { JobFinished(); });
}

// On the GUI thread once the job has returned: its error lines join the
// window's log, then its final notification is handled.
void TMainForm::JobFinished() {
  ShowAccount(JobAccount_);
  HandOverJobEnd(JobLog_, ErrorLog_, *Target_);
  // A job that ended without its final notification must not leave the panel up.
  if (MainStack->currentWidget() != PageControl1) ShowJobEnd();
}

void TMainForm::EditFileNameButtonClick() {
  if (JobRunning()) return;
  EditFileNameButton->setEnabled(false);
  int renamed = 0;
  const int format = RadioGroup3->ItemIndex();
  if (format >= 0 && format < static_cast<int>(RenameModes.size())) {
    Renaming_ = true;
    renamed = TreeRenameCameraFiles(Target_.get(), RenameModes[format]);
    Renaming_ = false;
  }
  SetStatus(RenameStatusText(renamed));
  EditFileNameButton->setEnabled(true);
}

void TMainForm::AbbrechenBitBtnClick() {
  Target_->post({WM_BATCH_CANCEL, 0, 0, std::string()});
  Target_->pump();
}

// ---------------------------------------------------------------------------
// Notifications and the preview strip

void TMainForm::HandleNotification(const TBatchMessage& Message) {
  switch (Message.Message) {
    case WM_BATCH_FILE:
      if (Message.WParam == 0) {
        LastFile = Message.Text;
        ShowFileName(Message.Text);
      }
      break;
    case WM_BATCH_STATUS:
      SetStatus(Message.Text);
      break;
    case WM_BATCH_CANCEL:
      CancelRequested = true;
      break;
    case WM_BATCH_PROGRESS:
      // The first file brings up the panel; ShowProgress sets the bar and
      // clears the strip.
      if (Message.WParam == 1) MainStack->setCurrentWidget(ProgressPanel);
      ShowProgress(Message.WParam, Message.LParam, LastFile);
      if (Message.LParam == 0) ShowJobEnd();
      break;
    default:
      break;
  }
  if (Observer_) Observer_(Message);
}

void TMainForm::ShowJobEnd() {
  MainStack->setCurrentWidget(PageControl1);
  ClearPreview();
  ResetNumLabels();
  if (!ErrorLog_.empty())
    ProgressWin_->ShowErrorLayout(TProgressWin::MainErrorWidth, TProgressWin::MainErrorOkLeft);
  else
    ProgressWin_->hide();
}

// The account of the job that ended: its last line in the status bar, the
// lines that explain it as the hint.
void TMainForm::ShowAccount(const TJobAccount& Account) {
  const std::vector<std::string> lines =
      AccountLines(Account, "\"" + OverwriteCheckBox->text().toStdString() + "\"");
  AccountPanel->setText(Q(lines.back()));
  std::string hint;
  for (const std::string& line : lines) hint += (hint.empty() ? "" : "\n") + line;
  AccountPanel->setToolTip(Q(hint));
}

// A long path loses its middle, so that its folder and name both stay in sight.
void TMainForm::ShowFileName(const std::string& Path) {
  FileNameLabel->SetText(Q(Path));
}

void TMainForm::ResetNumLabels() {
  for (size_t i = 0; i < NumLabels.size(); ++i) NumLabels[i]->setText(QString::number(i + 1));
}

void TMainForm::ShowProgress(int64_t Done, int64_t Total, const std::string& Path) {
  const int maximum = static_cast<int>(std::clamp<int64_t>(Total, 1, INT_MAX));
  ProgressBar1->setRange(0, maximum);
  ProgressBar1->setValue(static_cast<int>(std::clamp<int64_t>(Done, 0, maximum)));
  ShowFileName(Path);
  if (Done == 1) ClearPreview();
  ProgressLabel->setText(ProgressText(Done, Total));
  if (!PreViewCheckBox->isChecked()) return;
  const bool exists = batch::FileExists(Path);
  const QImage thumbnail = exists ? PreviewThumbnail(Path) : QImage();
  if (Done == 1) {
    if (exists) SetSlot(0, thumbnail);
    return;
  }
  const int64_t position = Done % 5;
  if (position == 1) ClearPreview();
  const int slot = position == 0 ? 4 : static_cast<int>(position) - 1;
  NumLabels[slot]->setText(QString::number(Done));
  if (exists) SetSlot(slot, thumbnail);
}

void TMainForm::SetSlot(int Slot, const QImage& Thumbnail) {
  if (Thumbnail.isNull())
    ImgViews[Slot]->setPixmap(EmptySlot());
  else
    ImgViews[Slot]->setPixmap(QPixmap::fromImage(Thumbnail));
}

void TMainForm::ClearPreview() {
  for (QLabel* view : ImgViews) view->setPixmap(EmptySlot());
}

void TMainForm::PreViewCheckBoxClick() {
  if (!PreViewCheckBox->isChecked()) ClearPreview();
}

}  // namespace pictrim
