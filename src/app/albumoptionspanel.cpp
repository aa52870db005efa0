#include "app/albumoptionspanel.h"

#include "core/messageboxes.h"
#include "core/runtimeerror.h"
#include "host/music.h"
#include "slides/resolutions.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <algorithm>

namespace slidemill {

namespace {

// The option's setting is this choice's: both unset, or both the same text.
bool names(const AlbumChoice& choice, const QString& setting) {
    return choice.name ? !setting.isNull() && setting == QLatin1String(choice.name)
                       : setting.isNull();
}

// A box lists the option's choices with the default first, where a box opens.
std::vector<const AlbumChoice*> offered(const AlbumOption& option) {
    const QString unset = option.setting(Album());
    std::vector<const AlbumChoice*> choices;
    for (const AlbumChoice& choice : option.choices)
        if (choice.label)
            choices.insert(names(choice, unset) ? choices.begin() : choices.end(), &choice);
    return choices;
}

// A file's length, measured again only once it has changed: the label is redrawn on every edit.
std::int64_t musicLength(const QString& path) {
    struct Measured {
        qint64 size;
        QDateTime modified;
        std::int64_t ms;
    };
    static QHash<QString, Measured> measured;
    const QFileInfo info(path);
    const auto known = measured.constFind(path);
    if (known != measured.cend() && known->size == info.size() &&
        known->modified == info.lastModified())
        return known->ms;
    const std::int64_t ms = measureMusic(path).durationMs;
    measured.insert(path, {info.size(), info.lastModified(), ms});
    return ms;
}

} // namespace

BuildOptions windowBuild(const Album& album, Layout layout, bool description) {
    BuildOptions options = album.build;
    options.layout = layout;
    if (options.caption == Caption::None && description)
        options.caption = Caption::Description;
    return options;
}

AlbumOptionsPanel::AlbumOptionsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("albumOptions"));
    auto* form = new QFormLayout(this);
    const auto row = [&](const QString& label, QWidget* field, QWidget* beside = nullptr) {
        QWidget* put = field;
        if (beside) {
            auto* both = new QHBoxLayout;
            both->setContentsMargins(0, 0, 0, 0);
            // The line edit takes the room.
            both->addWidget(field, qobject_cast<QLineEdit*>(field) ? 1 : 0);
            both->addWidget(beside, qobject_cast<QLineEdit*>(beside) ? 1 : 0);
            put = new QWidget(this);
            put->setLayout(both);
        }
        auto* text = new QLabel(label, this);
        text->setBuddy(field);
        form->addRow(text, put);
    };
    for (const AlbumOption& option : albumOptions()) {
        if (!option.control)
            continue;
        Control& control = controls_.emplace_back(Control{&option, nullptr, offered(option)});
        QWidget* beside = makeControl(control);
        if (qobject_cast<QCheckBox*>(control.widget))
            form->addRow(QString(), control.widget);
        else
            row(QString::fromUtf8(option.label), control.widget, beside);
        if (option.kind == AlbumOptionKind::Files && !musicLength_) {
            musicLength_ = new QLabel(this);
            musicLength_->setObjectName(QLatin1String(option.control) + QStringLiteral("Length"));
            musicLength_->setWordWrap(true);
            form->addRow(QString(), musicLength_);
        }
        // The resolution stands with what is done to the pictures, before the show.
        if (qstrcmp(option.control, "grey") == 0) {
            resolution_ = new QComboBox(this);
            resolution_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            resolution_->setMinimumContentsLength(16);
            resolution_->setObjectName(QStringLiteral("resolution"));
            for (const ResolutionPreset& preset : resolutionPresets())
                resolution_->addItem(resolutionLabel(preset), preset.pixelsPerInch);
            row(QStringLiteral("&Resolution:"), resolution_);
        }
    }
    auto* defaults = new QPushButton(QStringLiteral("Restore &Defaults"), this);
    defaults->setObjectName(QStringLiteral("restoreDefaults"));
    form->addRow(QString(), defaults);
    connect(defaults, &QPushButton::clicked, this, [this] {
        // The show's own title stays: the defaults are the look, not the words.
        Album fresh;
        fresh.build.title = album().build.title;
        fresh.build.subtitle = album().build.subtitle;
        setAlbum(fresh, kDefaultPixelsPerInch);
        Q_EMIT changed();
    });
    connect(resolution_, &QComboBox::currentIndexChanged, this, &AlbumOptionsPanel::edited);
    setAlbum(Album(), kDefaultPixelsPerInch);
}

// Made as the option's kind asks; returns what stands beside it.
QWidget* AlbumOptionsPanel::makeControl(Control& control) {
    const AlbumOption& option = *control.option;
    const QString name = QLatin1String(option.control);
    if (option.kind == AlbumOptionKind::Files)
        return makeFilesControl(control);
    if (option.kind == AlbumOptionKind::Seconds || option.kind == AlbumOptionKind::Points) {
        auto* spin = new QSpinBox(this);
        // A size not set stands just under the range, in words; a choice of seconds outside
        // it is a check box beside the box.
        const bool unsetBelow = option.kind == AlbumOptionKind::Points &&
                                std::ranges::any_of(option.choices, [&](const AlbumChoice& c) {
                                    return c.value < option.least;
                                });
        spin->setRange(option.least - (unsetBelow ? 1 : 0), option.most);
        spin->setSuffix(option.kind == AlbumOptionKind::Points ? QStringLiteral(" pt")
                                                               : QStringLiteral(" s"));
        for (const AlbumChoice& choice : option.choices) {
            if (choice.value == option.least || (unsetBelow && choice.value < option.least)) {
                spin->setSpecialValueText(QString::fromUtf8(choice.label));
                continue;
            }
            if (choice.value < option.least || choice.value > option.most) {
                control.instead = new QCheckBox(QString::fromUtf8(choice.label), this);
                control.instead->setObjectName(name + QStringLiteral("Instead"));
                control.insteadValue = choice.value;
                connect(control.instead, &QCheckBox::toggled, this, &AlbumOptionsPanel::edited);
            }
        }
        connect(spin, &QSpinBox::valueChanged, this, &AlbumOptionsPanel::edited);
        control.widget = spin;
    } else if (option.kind == AlbumOptionKind::Switch && option.choices.empty()) {
        auto* box = new QCheckBox(QString::fromUtf8(option.label), this);
        connect(box, &QCheckBox::toggled, this, &AlbumOptionsPanel::edited);
        control.widget = box;
    } else if (option.kind == AlbumOptionKind::Folder ||
               (option.kind == AlbumOptionKind::Text && !option.ownValue)) {
        auto* edit = new QLineEdit(this);
        for (const AlbumChoice* choice : control.offered)
            if (choice->name && !*choice->name)
                edit->setPlaceholderText(QString::fromUtf8(choice->label));
        connect(edit, &QLineEdit::textChanged, this, &AlbumOptionsPanel::edited);
        control.widget = edit;
    } else {
        auto* box = new QComboBox(this);
        // Narrow enough to leave the photos the room; the open list shows whole choices.
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(16);
        for (const AlbumChoice* choice : control.offered)
            box->addItem(QString::fromUtf8(choice->label));
        if (option.ownValue)
            box->addItem(QString::fromUtf8(option.ownValue));
        connect(box, &QComboBox::currentIndexChanged, this, &AlbumOptionsPanel::edited);
        control.widget = box;
    }
    control.widget->setObjectName(name);

    if (option.kind == AlbumOptionKind::Colour) {
        connect(static_cast<QComboBox*>(control.widget), &QComboBox::activated, this,
                [this, &option, box = static_cast<QComboBox*>(control.widget)](int index) {
                    if (index == box->count() - 1)
                        chooseColour(option);
                });
    } else if (option.kind == AlbumOptionKind::Text && option.ownValue) {
        control.own = new QLineEdit(this);
        control.own->setObjectName(name + QStringLiteral("Text"));
        control.own->setAccessibleName(name.left(1).toUpper() + name.mid(1) +
                                       QStringLiteral(" text"));
        connect(control.own, &QLineEdit::textChanged, this, &AlbumOptionsPanel::edited);
        return control.own;
    } else if (control.instead) {
        return control.instead;
    } else if (option.kind == AlbumOptionKind::Folder) {
        auto* edit = static_cast<QLineEdit*>(control.widget);
        edit->setAccessibleName(QStringLiteral("Folder of the presentations"));
        edit->setPlaceholderText(
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        auto* choose = new QPushButton(QStringLiteral("C&hoose..."), this);
        choose->setObjectName(QStringLiteral("chooseFolder"));
        choose->setAccessibleName(QStringLiteral("Choose the folder"));
        connect(choose, &QPushButton::clicked, this, [this, edit] { chooseFolder(edit); });
        return choose;
    }
    return nullptr;
}

// The files by name in a line edit, the whole paths in its tooltip, with buttons that add more
// and clear them.
QWidget* AlbumOptionsPanel::makeFilesControl(Control& control) {
    const QString name = QLatin1String(control.option->control);
    auto* edit = new QLineEdit(this);
    edit->setReadOnly(true);
    edit->setObjectName(name);
    edit->setPlaceholderText(QStringLiteral("None"));
    control.widget = edit;
    auto* buttons = new QWidget(this);
    auto* both = new QHBoxLayout(buttons);
    both->setContentsMargins(0, 0, 0, 0);
    auto* add = new QPushButton(QStringLiteral("A&dd..."), buttons);
    add->setObjectName(QStringLiteral("add") + name.left(1).toUpper() + name.mid(1));
    auto* clear = new QPushButton(QStringLiteral("Clear"), buttons);
    clear->setObjectName(QStringLiteral("clear") + name.left(1).toUpper() + name.mid(1));
    both->addWidget(add);
    both->addWidget(clear);
    const auto index = controls_.size() - 1;
    connect(add, &QPushButton::clicked, this, [this, index] {
        Control& c = controls_[index];
        const QStringList chosen = QFileDialog::getOpenFileNames(
            this, QStringLiteral("Music"), QString(),
            QStringLiteral("Music (*.mp3 *.m4a *.wav);;All files (*)"));
        if (chosen.isEmpty())
            return;
        showFiles(c, c.files + chosen);
        edited();
    });
    connect(clear, &QPushButton::clicked, this, [this, index] {
        showFiles(controls_[index], {});
        edited();
    });
    return buttons;
}

void AlbumOptionsPanel::showFiles(Control& control, const QStringList& files) {
    control.files = files;
    auto* edit = static_cast<QLineEdit*>(control.widget);
    QStringList names;
    for (const QString& file : files)
        names << file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
    edit->setText(names.join(QLatin1String("; ")));
    edit->setToolTip(files.join(QLatin1Char('\n')));
    showMusicLength();
}

void AlbumOptionsPanel::setSlideCount(qsizetype slides) {
    slides_ = slides;
    showMusicLength();
}

// "3:25 in all, 6.833 s a slide"; what is wrong with a file that cannot be played.
void AlbumOptionsPanel::showMusicLength() {
    if (!musicLength_)
        return;
    const Album now = album();
    std::int64_t total = 0;
    QString text;
    try {
        for (const QString& file : now.build.music)
            total += musicLength(file);
    } catch (const RuntimeError& e) {
        text = QStringLiteral("%1 (%2)").arg(e.text(), e.file());
    }
    if (text.isEmpty() && !now.build.music.isEmpty()) {
        const std::int64_t seconds = (total + 500) / 1000;
        text = QStringLiteral("%1:%2 in all")
                   .arg(seconds / 60)
                   .arg(seconds % 60, 2, 10, QLatin1Char('0'));
        if (slides_ > 0) {
            const std::int64_t share =
                now.build.advanceFit ? (total + slides_ / 2) / slides_ : now.build.advanceMs;
            if (share > 0)
                text += QStringLiteral(", %1 s a slide").arg(double(share) / 1000.0, 0, 'f', 3);
        }
    }
    musicLength_->setText(text);
    musicLength_->setVisible(!text.isEmpty());
}

void AlbumOptionsPanel::setAlbum(const Album& album, int pixelsPerInch) {
    loading_ = true;
    for (const Control& control : controls_)
        showValue(control, album);
    const int preset = resolution_->findData(pixelsPerInch);
    resolution_->setCurrentIndex(preset >= 0 ? preset
                                             : resolution_->findData(kDefaultPixelsPerInch));
    enableTexts();
    showMusicLength();
    loading_ = false;
}

void AlbumOptionsPanel::showValue(const Control& control, const Album& album) {
    const AlbumOption& option = *control.option;
    if (option.kind == AlbumOptionKind::Files) {
        showFiles(const_cast<Control&>(control), option.get(album).files);
    } else if (auto* check = qobject_cast<QCheckBox*>(control.widget)) {
        check->setChecked(option.get(album).number != 0);
    } else if (auto* spin = qobject_cast<QSpinBox*>(control.widget)) {
        const int value = option.get(album).number;
        const bool instead = control.instead && value == control.insteadValue;
        if (control.instead)
            control.instead->setChecked(instead);
        if (!instead)
            spin->setValue(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control.widget)) {
        edit->setText(option.setting(album));
    } else if (auto* box = qobject_cast<QComboBox*>(control.widget)) {
        const QString setting = option.setting(album);
        const int choices = int(control.offered.size());
        // A colour of its own stands between the choices and the item that picks one.
        while (box->count() > choices + (option.ownValue ? 1 : 0))
            box->removeItem(choices);
        const auto chosen = std::ranges::find_if(
            control.offered, [&](const AlbumChoice* choice) { return names(*choice, setting); });
        if (chosen != control.offered.end()) {
            box->setCurrentIndex(int(chosen - control.offered.begin()));
        } else if (option.kind == AlbumOptionKind::Colour) {
            otherColour_ = std::uint32_t(option.get(album).number);
            box->insertItem(choices, setting);
            box->setCurrentIndex(choices);
        } else {
            box->setCurrentIndex(box->count() - 1);
        }
        if (control.own)
            control.own->setText(chosen == control.offered.end() ? setting : QString());
    }
}

Album AlbumOptionsPanel::album() const {
    Album album;
    for (const Control& control : controls_)
        readValue(control, album);
    return album;
}

// What the control shows, set in the album; a text the option refuses (an empty caption) leaves
// it at its default, as the command line would not take it.
void AlbumOptionsPanel::readValue(const Control& control, Album& album) const {
    const AlbumOption& option = *control.option;
    if (option.kind == AlbumOptionKind::Files) {
        option.put(album, {0, std::nullopt, control.files});
    } else if (auto* check = qobject_cast<QCheckBox*>(control.widget)) {
        option.put(album, {check->isChecked()});
    } else if (auto* spin = qobject_cast<QSpinBox*>(control.widget)) {
        int value = spin->value();
        if (control.instead && control.instead->isChecked())
            value = control.insteadValue;
        else if (value < option.least)
            for (const AlbumChoice& choice : option.choices)
                if (choice.value < option.least)
                    value = choice.value;
        option.put(album, {value});
    } else if (auto* edit = qobject_cast<QLineEdit*>(control.widget)) {
        option.set(album,
                   option.kind == AlbumOptionKind::Folder ? edit->text().trimmed() : edit->text());
    } else if (auto* box = qobject_cast<QComboBox*>(control.widget)) {
        const std::size_t index = std::size_t(box->currentIndex());
        if (index < control.offered.size()) {
            if (const char* name = control.offered[index]->name)
                option.set(album, QString::fromUtf8(name));
        } else if (control.own) {
            option.set(album, control.own->text());
        } else {
            option.put(album, {int(otherColour_)});
        }
    }
}

int AlbumOptionsPanel::pixelsPerInch() const {
    return resolution_->currentData().toInt();
}

// A text of one's own is typed when its item is chosen; an option that needs another waits for
// it (no subtitle without a title).
void AlbumOptionsPanel::enableTexts() {
    const Album now = album();
    for (const Control& control : controls_) {
        const char* needs = control.option->needs;
        const AlbumOption* needed = needs ? findAlbumOption(QString::fromLatin1(needs)) : nullptr;
        const bool enabled = !needed || needed->get(now) != needed->get(Album());
        control.widget->setEnabled(enabled && !(control.instead && control.instead->isChecked()));
        if (control.own) {
            const auto* box = static_cast<const QComboBox*>(control.widget);
            control.own->setEnabled(enabled && box->currentIndex() == box->count() - 1);
        }
    }
}

void AlbumOptionsPanel::edited() {
    if (loading_)
        return;
    enableTexts();
    showMusicLength();
    Q_EMIT changed();
}

void AlbumOptionsPanel::chooseColour(const AlbumOption& option) {
    const QColor chosen =
        QColorDialog::getColor(QColor::fromRgb(QRgb(otherColour_)), this,
                               QString::fromUtf8(option.label).remove(QLatin1Char('&')).chopped(1));
    Album now = album();
    const auto* box = findChild<QComboBox*>(QLatin1String(option.control));
    if (chosen.isValid())
        option.put(now, {int(chosen.rgb() & 0xFFFFFF)});
    else if (box->count() == int(offered(option).size()) + 1)
        option.put(now, option.get(Album()));
    setAlbum(now, pixelsPerInch());
    Q_EMIT changed();
}

void AlbumOptionsPanel::chooseFolder(QLineEdit* folder) {
    const QString start = folder->text().isEmpty() ? folder->placeholderText() : folder->text();
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Folder of the presentations"), start);
    if (!chosen.isEmpty())
        folder->setText(chosen);
}

} // namespace slidemill
