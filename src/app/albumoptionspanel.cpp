#include "app/albumoptionspanel.h"

#include "core/messageboxes.h"
#include "slides/resolutions.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
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
    if (option.kind == AlbumOptionKind::Seconds || option.kind == AlbumOptionKind::Points) {
        auto* spin = new QSpinBox(this);
        // A choice below the range, the option not set, stands just under it, in words.
        const bool unset = std::ranges::any_of(
            option.choices, [&](const AlbumChoice& c) { return c.value < option.least; });
        spin->setRange(option.least - (unset ? 1 : 0), option.most);
        spin->setSuffix(option.kind == AlbumOptionKind::Points ? QStringLiteral(" pt")
                                                               : QStringLiteral(" s"));
        for (const AlbumChoice& choice : option.choices)
            if (choice.value <= option.least)
                spin->setSpecialValueText(QString::fromUtf8(choice.label));
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

void AlbumOptionsPanel::setAlbum(const Album& album, int pixelsPerInch) {
    loading_ = true;
    for (const Control& control : controls_)
        showValue(control, album);
    const int preset = resolution_->findData(pixelsPerInch);
    resolution_->setCurrentIndex(preset >= 0 ? preset
                                             : resolution_->findData(kDefaultPixelsPerInch));
    enableTexts();
    loading_ = false;
}

void AlbumOptionsPanel::showValue(const Control& control, const Album& album) {
    const AlbumOption& option = *control.option;
    if (auto* check = qobject_cast<QCheckBox*>(control.widget)) {
        check->setChecked(option.get(album).number != 0);
    } else if (auto* spin = qobject_cast<QSpinBox*>(control.widget)) {
        spin->setValue(option.get(album).number);
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
    if (auto* check = qobject_cast<QCheckBox*>(control.widget)) {
        option.put(album, {check->isChecked()});
    } else if (auto* spin = qobject_cast<QSpinBox*>(control.widget)) {
        int value = spin->value();
        for (const AlbumChoice& choice : option.choices)
            if (value < option.least && choice.value < option.least)
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
        control.widget->setEnabled(enabled);
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
