#include "app/albumdialog.h"

#include "app/slidesketch.h"
#include "core/messageboxes.h"
#include "slides/resolutions.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>

namespace slidemill {

namespace {

QComboBox* choices(QWidget* parent, const char* name, std::initializer_list<const char*> texts) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (const char* text : texts)
        box->addItem(QString::fromUtf8(text));
    return box;
}

QString colourText(std::uint32_t rgb) {
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0')).toUpper();
}

} // namespace

BuildOptions windowBuild(const Album& album, Layout layout, bool description) {
    BuildOptions options = album.build;
    options.layout = layout;
    if (options.caption == Caption::None && description)
        options.caption = Caption::Description;
    return options;
}

AlbumDialog::AlbumDialog(const Album& album, int pixelsPerInch, Photos photos,
                         PictureLoader& loader, PreviewSource& previews, QWidget* parent)
    : QDialog(parent), photos_(std::move(photos)), loader_(loader) {
    setObjectName(QStringLiteral("albumDialog"));
    setWindowTitle(QStringLiteral("Album options"));

    layout_ = choices(this, "layout",
                      {"One photo a slide", "Two photos a slide", "Four photos a slide",
                       "One photo a slide, whole and as large as it fits",
                       "One photo a slide, filling it"});
    caption_ = choices(this, "caption", {"None", "File name", "Date taken", "This text:"});
    captionText_ = new QLineEdit(this);
    captionText_->setObjectName(QStringLiteral("captionText"));
    captionText_->setAccessibleName(QStringLiteral("Caption text"));
    title_ = new QLineEdit(this);
    title_->setObjectName(QStringLiteral("title"));
    title_->setPlaceholderText(QStringLiteral("No title slide"));
    subtitle_ = choices(this, "subtitle", {"The days the photos were taken", "None", "This text:"});
    subtitleText_ = new QLineEdit(this);
    subtitleText_->setObjectName(QStringLiteral("subtitleText"));
    subtitleText_->setAccessibleName(QStringLiteral("Subtitle text"));
    slideSize_ = choices(this, "slideSize", {"4:3 (720 x 540 points)", "16:9 (960 x 540 points)"});
    background_ = choices(this, "background", {"White", "Black", "Other colour..."});
    grey_ = new QCheckBox(QStringLiteral("All pictures in &greys"), this);
    grey_->setObjectName(QStringLiteral("grey"));
    resolution_ = new QComboBox(this);
    resolution_->setObjectName(QStringLiteral("resolution"));
    for (const ResolutionPreset& preset : resolutionPresets())
        resolution_->addItem(resolutionLabel(preset), preset.pixelsPerInch);
    advance_ = new QSpinBox(this);
    advance_->setObjectName(QStringLiteral("advance"));
    advance_->setRange(0, 3600);
    advance_->setSuffix(QStringLiteral(" s"));
    advance_->setSpecialValueText(QStringLiteral("On a click"));
    loop_ = new QCheckBox(QStringLiteral("&Loop until Esc"), this);
    loop_->setObjectName(QStringLiteral("loop"));
    transition_ = choices(this, "transition", {"None", "Fade", "Push", "Wipe"});
    folder_ = new QLineEdit(this);
    folder_->setObjectName(QStringLiteral("folder"));
    folder_->setAccessibleName(QStringLiteral("Folder of the presentations"));
    folder_->setPlaceholderText(
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    auto* chooseFolder = new QPushButton(QStringLiteral("C&hoose..."), this);
    chooseFolder->setObjectName(QStringLiteral("chooseFolder"));
    chooseFolder->setAccessibleName(QStringLiteral("Choose the folder"));
    sketch_ = new SlideSketchView(previews, this);
    sketch_->setObjectName(QStringLiteral("sketch"));
    sketch_->setAccessibleName(QStringLiteral("Sketch of the slide"));
    sketch_->setMinimumSize(320, 240);

    auto* form = new QFormLayout;
    const auto row = [&](const char* label, QWidget* field, QWidget* beside = nullptr) {
        QWidget* put = field;
        if (beside) {
            auto* both = new QHBoxLayout;
            both->setContentsMargins(0, 0, 0, 0);
            both->addWidget(field);
            both->addWidget(beside, 1);
            put = new QWidget(this);
            put->setLayout(both);
        }
        auto* text = new QLabel(QString::fromUtf8(label), this);
        text->setBuddy(field);
        form->addRow(text, put);
    };
    row("&Layout of Build Album:", layout_);
    row("&Captions:", caption_, captionText_);
    row("&Title slide:", title_);
    row("&Subtitle:", subtitle_, subtitleText_);
    row("Slide si&ze:", slideSize_);
    row("&Background:", background_);
    form->addRow(QString(), grey_);
    row("&Resolution:", resolution_);
    row("&Advance after:", advance_);
    form->addRow(QString(), loop_);
    row("Tra&nsition:", transition_);
    row("&Folder:", folder_, chooseFolder);
    static_cast<QHBoxLayout*>(folder_->parentWidget()->layout())->setStretch(0, 1);
    static_cast<QHBoxLayout*>(folder_->parentWidget()->layout())->setStretch(1, 0);

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    build_ = buttons->addButton(QStringLiteral("B&uild Album"), QDialogButtonBox::ActionRole);
    build_->setObjectName(QStringLiteral("buildAlbum"));
    build_->setToolTip(QStringLiteral("Keep these options and build with the layout above"));

    auto* sketchSide = new QVBoxLayout;
    auto* sketchLabel =
        new QLabel(photos_.current >= 0 ? QStringLiteral("The slide of the current photo:")
                                        : QStringLiteral("The first slide:"),
                   this);
    sketchSide->addWidget(sketchLabel);
    sketchSide->addWidget(sketch_, 1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(form);
    columns->addLayout(sketchSide, 1);
    auto* whole = new QVBoxLayout(this);
    whole->addLayout(columns, 1);
    whole->addWidget(buttons);

    setAlbum(album, pixelsPerInch);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            [this] { setAlbum(Album(), kDefaultPixelsPerInch); });
    connect(build_, &QPushButton::clicked, this, [this] { done(kBuild); });
    connect(chooseFolder, &QPushButton::clicked, this, &AlbumDialog::chooseFolder);
    connect(background_, &QComboBox::activated, this, [this](int index) {
        if (index == background_->count() - 1)
            chooseColour();
    });
    for (QComboBox* box :
         {layout_, caption_, subtitle_, slideSize_, background_, resolution_, transition_})
        connect(box, &QComboBox::currentIndexChanged, this, &AlbumDialog::redraw);
    for (QLineEdit* edit : {captionText_, title_, subtitleText_, folder_})
        connect(edit, &QLineEdit::textChanged, this, &AlbumDialog::redraw);
    for (QCheckBox* box : {grey_, loop_})
        connect(box, &QCheckBox::toggled, this, &AlbumDialog::redraw);
    connect(advance_, &QSpinBox::valueChanged, this, &AlbumDialog::redraw);
}

void AlbumDialog::setAlbum(const Album& album, int pixelsPerInch) {
    loading_ = true;
    const BuildOptions& b = album.build;
    layout_->setCurrentIndex(int(b.layout));
    caption_->setCurrentIndex(b.caption == Caption::Name   ? 1
                              : b.caption == Caption::Date ? 2
                              : b.caption == Caption::Text ? 3
                                                           : 0);
    captionText_->setText(b.caption == Caption::Text ? b.captionText : QString());
    title_->setText(b.title);
    subtitle_->setCurrentIndex(!b.subtitle ? 0 : b.subtitle->isEmpty() ? 1 : 2);
    subtitleText_->setText(b.subtitle ? *b.subtitle : QString());
    slideSize_->setCurrentIndex(b.wide ? 1 : 0);
    // A colour of its own stands between Black and "Other colour...".
    while (background_->count() > 3)
        background_->removeItem(2);
    if (b.background == 0xFFFFFF) {
        background_->setCurrentIndex(0);
    } else if (b.background == 0x000000) {
        background_->setCurrentIndex(1);
    } else {
        otherColour_ = b.background;
        background_->insertItem(2, colourText(b.background));
        background_->setCurrentIndex(2);
    }
    grey_->setChecked(b.grey);
    const int preset = resolution_->findData(pixelsPerInch);
    resolution_->setCurrentIndex(preset >= 0 ? preset
                                             : resolution_->findData(kDefaultPixelsPerInch));
    advance_->setValue(b.advanceSeconds);
    loop_->setChecked(b.loop);
    transition_->setCurrentIndex(int(b.transition));
    folder_->setText(album.folder);
    loading_ = false;
    redraw();
}

Album AlbumDialog::album() const {
    Album album;
    BuildOptions& b = album.build;
    b.layout = Layout(layout_->currentIndex());
    switch (caption_->currentIndex()) {
    case 1:
        b.caption = Caption::Name;
        break;
    case 2:
        b.caption = Caption::Date;
        break;
    case 3:
        // An empty text is no caption, as an empty --caption is refused.
        if (!captionText_->text().trimmed().isEmpty()) {
            b.caption = Caption::Text;
            b.captionText = captionText_->text();
        }
        break;
    default:
        break;
    }
    b.title = title_->text().trimmed().isEmpty() ? QString() : title_->text();
    if (subtitle_->currentIndex() == 1)
        b.subtitle = QStringLiteral("");
    else if (subtitle_->currentIndex() == 2)
        b.subtitle = subtitleText_->text();
    b.wide = slideSize_->currentIndex() == 1;
    const int background = background_->currentIndex();
    b.background = background == 0 ? 0xFFFFFF : background == 1 ? 0x000000 : otherColour_;
    b.grey = grey_->isChecked();
    b.advanceSeconds = advance_->value();
    b.loop = loop_->isChecked();
    b.transition = Transition(transition_->currentIndex());
    album.folder = folder_->text().trimmed();
    return album;
}

int AlbumDialog::pixelsPerInch() const {
    return resolution_->currentData().toInt();
}

void AlbumDialog::enableTexts() {
    captionText_->setEnabled(caption_->currentIndex() == 3);
    subtitleText_->setEnabled(subtitle_->currentIndex() == 2);
    subtitle_->setEnabled(!title_->text().trimmed().isEmpty());
    subtitleText_->setEnabled(subtitle_->isEnabled() && subtitle_->currentIndex() == 2);
}

void AlbumDialog::redraw() {
    if (loading_)
        return;
    enableTexts();
    const Album now = album();
    sketch_->setSketch(sketchSlide(photos_.paths, photos_.current,
                                   windowBuild(now, now.build.layout, photos_.description),
                                   loader_));
}

void AlbumDialog::chooseColour() {
    const QColor chosen = QColorDialog::getColor(QColor::fromRgb(QRgb(otherColour_)), this,
                                                 QStringLiteral("Background"));
    Album now = album();
    if (chosen.isValid())
        now.build.background = std::uint32_t(chosen.rgb() & 0xFFFFFF);
    else if (background_->count() == 3)
        now.build.background = BuildOptions::kWhite;
    else
        now.build.background = otherColour_;
    setAlbum(now, pixelsPerInch());
}

void AlbumDialog::chooseFolder() {
    const QString start = folder_->text().isEmpty() ? folder_->placeholderText() : folder_->text();
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Folder of the presentations"), start);
    if (!chosen.isEmpty())
        folder_->setText(chosen);
}

} // namespace slidemill
