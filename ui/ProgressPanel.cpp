#include "ui/ProgressPanel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

#include "engine/BatchSupport.h"
#include "image/JpegImage.h"
#include "ui/Controls.h"
#include "ui/ElidingLabel.h"
#include "ui/Progress.h"
#include "ui/ScreenFit.h"

namespace pictrim {

using namespace controls;

namespace {

const QColor EmptySlotColor(241, 241, 241);

// The files after the first whose pace an estimate needs.
constexpr int64_t PacedFiles = 2;

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

QPixmap EmptySlot() {
  QPixmap pixmap(TProgressPanel::SlotSize, TProgressPanel::SlotSize);
  pixmap.fill(EmptySlotColor);
  return pixmap;
}

}  // namespace

std::optional<int64_t> SecondsLeft(double SinceFirst, int64_t Done, int64_t Total) {
  const int64_t paced = Done - 1;
  if (paced < PacedFiles || Done >= Total || !(SinceFirst > 0)) return std::nullopt;
  const double left = SinceFirst / static_cast<double>(paced) * static_cast<double>(Total - Done);
  return static_cast<int64_t>(std::ceil(std::min(left, 1e12)));
}

std::string DurationText(int64_t Seconds) {
  const int64_t hours = Seconds / 3600;
  const int64_t minutes = Seconds % 3600 / 60;
  const int64_t seconds = Seconds % 60;
  if (hours > 0) return std::to_string(hours) + " h " + std::to_string(minutes) + " min";
  if (minutes > 0) return std::to_string(minutes) + " min " + std::to_string(seconds) + " s";
  return std::to_string(seconds) + " s";
}

QImage PreviewThumbnail(const std::string& Path) {
  constexpr int size = TProgressPanel::SlotSize;
  try {
    TJpegImage jpeg;
    jpeg.LoadFromFile(Path);
    const QImage reduced = jpeg.ToReducedBitmap(size, size);
    if (reduced.isNull()) return {};
    return reduced.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  } catch (...) {
    return {};
  }
}

TProgressPanel::TProgressPanel(QWidget* Parent) : QFrame(Parent), Clock_(SteadySeconds) {
  setObjectName(QStringLiteral("ProgressPanel"));
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  QPalette light = palette();
  light.setColor(QPalette::Window, QColor(227, 227, 227));
  setPalette(light);
  auto* content = new QWidget;
  content->setObjectName(QStringLiteral("ProgressContent"));
  TightColumn(this, 0, 0)->addWidget(new TScrollPage(content));
  auto* layout = TightColumn(content, 8, 8);

  ProgressLabel = Named(new QLabel, "ProgressLabel");
  PreViewCheckBox = Named(new QCheckBox, "PreViewCheckBox");
  PreViewCheckBox->setChecked(true);
  auto* top = new QHBoxLayout;
  top->addWidget(ProgressLabel, 1);
  top->addWidget(PreViewCheckBox);
  layout->addLayout(top);

  FileNameLabel = Named(new TElidingLabel(QStringLiteral("FileName")), "FileNameLabel");
  FileNameLabel->setTextFormat(Qt::PlainText);
  layout->addWidget(FileNameLabel);
  ProgressBar1 = Named(new QProgressBar, "ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  layout->addWidget(ProgressBar1);
  TimeLeftLabel = Named(new QLabel, "TimeLeftLabel");
  TimeLeftLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  layout->addWidget(TimeLeftLabel);

  Panel2 = BuildStrip();
  layout->addStretch(1);
  layout->addWidget(Panel2, 0, Qt::AlignHCenter);
  layout->addStretch(2);

  AbbrechenBitBtn =
      Named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QString()),
            "AbbrechenBitBtn");
  AbbrechenBitBtn->setMinimumWidth(Scaled(100));
  PressOnEnter(AbbrechenBitBtn);
  layout->addWidget(AbbrechenBitBtn, 0, Qt::AlignHCenter);
  connect(PreViewCheckBox, &QCheckBox::toggled, this, &TProgressPanel::PreViewCheckBoxClick);
  ApplyTexts();
}

void TProgressPanel::ApplyTexts() {
  ProgressLabel->setText(ProgressText(0, 0));
  PreViewCheckBox->setText(T(TTextId::PreviewCaption));
  AbbrechenBitBtn->setText(T(TTextId::CancelCaption));
}

void TProgressPanel::SetClock(std::function<double()> Clock) {
  Clock_ = std::move(Clock);
}

void TProgressPanel::ShowTimeLeft(int64_t Done, int64_t Total) {
  if (Done == 1) FirstFileAt_ = Clock_();
  const std::optional<int64_t> left = SecondsLeft(Clock_() - FirstFileAt_, Done, Total);
  TimeLeftLabel->setText(left ? Q(Text(TTextId::TimeLeft, {DurationText(*left)})) : QString());
}

QFrame* TProgressPanel::BuildStrip() {
  auto* panel = Named(new QFrame, "Panel2");
  panel->setFrameShape(QFrame::StyledPanel);
  auto* strip = new QHBoxLayout(panel);
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
  return panel;
}

// A long path loses its middle, so that its folder and name both stay in sight.
void TProgressPanel::ShowFileName(const std::string& Path) {
  FileNameLabel->SetText(Q(Path));
}

void TProgressPanel::ResetNumLabels() {
  for (size_t i = 0; i < NumLabels.size(); ++i) NumLabels[i]->setText(QString::number(i + 1));
}

void TProgressPanel::ShowProgress(int64_t Done, int64_t Total, const std::string& Path) {
  const int maximum = static_cast<int>(std::clamp<int64_t>(Total, 1, INT_MAX));
  ProgressBar1->setRange(0, maximum);
  ProgressBar1->setValue(static_cast<int>(std::clamp<int64_t>(Done, 0, maximum)));
  ShowFileName(Path);
  if (Done == 1) ClearPreview();
  ProgressLabel->setText(ProgressText(Done, Total));
  ShowTimeLeft(Done, Total);
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

void TProgressPanel::SetSlot(int Slot, const QImage& Thumbnail) {
  if (Thumbnail.isNull())
    ImgViews[Slot]->setPixmap(EmptySlot());
  else
    ImgViews[Slot]->setPixmap(QPixmap::fromImage(Thumbnail));
}

void TProgressPanel::ClearPreview() {
  for (QLabel* view : ImgViews) view->setPixmap(EmptySlot());
}

void TProgressPanel::PreViewCheckBoxClick() {
  if (!PreViewCheckBox->isChecked()) ClearPreview();
}

}  // namespace pictrim
