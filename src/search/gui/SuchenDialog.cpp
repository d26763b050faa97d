#include "search/gui/SuchenDialog.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "document/gui/WindowParts.h"
#include "edit/PickLists.h"

namespace mv32::search {

namespace {

QComboBox* pickBox(const char* name, QWidget* parent) {
    return document::pickBox(name, parent, 254);
}

std::string text(const QLineEdit* e) {
    return e->text().toStdString();
}

std::string text(const QComboBox* c) {
    return c->currentText().toStdString();
}

}  // namespace

TSuchenDialog::TSuchenDialog(std::function<void(const FullSearchCriteria&)> search,
                             std::string programDir, std::string helpFolder, QWidget* parent)
    : QDialog(parent),
      search_(std::move(search)),
      programDir_(std::move(programDir)),
      helpFolder_(std::move(helpFolder)) {
    setObjectName("SuchenDialog");
    setWindowTitle("Suchen");

    name_ = edit("SuchenEdit", 254);
    number_ = edit("MediumNrEdit", 5);
    number_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,5}"), this));
    medium_ = pickBox("Datentraeger", this);
    for (const auto& m : edit::mediumTypes()) medium_->addItem(QString::fromStdString(m));
    label_ = edit("VolLabelEdit", 11);
    serial_ = edit("VolIDEdit", 8);
    drive_ = edit("DriveEdit", 1);
    total_ = edit("groesseEdit", 6);
    free_ = edit("freespaceEdit", 6);
    for (QLineEdit* size : {total_, free_}) {
        size->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,6}"), this));
        size->setToolTip("Größe des zu suchenden Speicherbereichs in KByte");
    }
    category_ = pickBox("KategorieEdit", this);
    status_ = pickBox("StatusEdit", this);
    for (const auto& c : edit::builtInCategories()) category_->addItem(QString::fromStdString(c));
    for (const auto& s : edit::builtInStatus()) status_->addItem(QString::fromStdString(s));

    auto* g = new QGridLayout;
    const struct {
        const char* label;
        QWidget* box;
    } rows[] = {{"Such&begriff:", name_},     {"Datenträger-&Nr.:", number_},
                {"Datenträger:", medium_},    {"&Label:", label_},
                {"Serienn&ummer:", serial_},  {"Lauf&werk:", drive_},
                {"Gesamte &Größe*:", total_}, {"&Freier Speicher*:", free_},
                {"&Kategorie:", category_},   {"&Status:", status_}};
    int r = 0;
    for (const auto& row : rows) {
        auto* l = new QLabel(row.label, this);
        l->setBuddy(row.box);
        g->addWidget(l, r, 0);
        g->addWidget(row.box, r, 1);
        ++r;
    }
    g->addWidget(new QLabel("* Angaben in KByte", this), r, 1);
    g->setColumnStretch(1, 1);

    auto* find = document::button("&Suchen", "SuchenBtn", this, "Suche starten");
    find->setDefault(true);  // Enter starts the search
    auto* close = document::button("S&chließen", "RxSpeedButton2", this, "");
    auto* help = document::button("&Hilfe", "RxSpeedButton1", this, "Onlinehilfe konsultieren");
    connect(find, &QPushButton::clicked, this, [this] {
        hide();
        if (search_) search_(criteria());
    });
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(help, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QString::fromStdString(helpFolder_ + "s_suchen.html")));
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(find);
    buttons->addStretch();
    buttons->addWidget(close);
    buttons->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(g);
    layout->addLayout(buttons);
    resize(460, 400);
}

QLineEdit* TSuchenDialog::edit(const char* name, int maxLength) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    return e;
}

FullSearchCriteria TSuchenDialog::criteria() const {
    FullSearchCriteria c;
    c.name = text(name_);
    c.number = text(number_);
    c.drive = text(drive_);
    c.label = text(label_);
    c.serial = text(serial_);
    c.total = text(total_);
    c.free = text(free_);
    c.category = text(category_);
    c.status = text(status_);
    c.medium = text(medium_);
    return c;
}

void TSuchenDialog::open() {
    for (QLineEdit* e : {name_, number_, drive_, label_, serial_, total_, free_}) e->clear();
    for (QComboBox* c : {medium_, category_, status_}) c->setEditText({});
    // FormShow: the lists from their files, each time the dialog shows.
    loadList(category_, edit::kCategoryFile);
    loadList(status_, edit::kStatusFile);
    document::centreOnScreen(this);
    document::showInFront(this);
    name_->setFocus();
}

void TSuchenDialog::loadList(QComboBox* box, const char* file) {
    // A file that cannot be read leaves the list as it was, and the person learns why.
    std::string problem;
    const auto sorted = readSearchList(programDir_ + file, problem);
    if (!sorted) {
        if (showError) showError(problem);
        return;
    }
    const QString typed = box->currentText();
    box->clear();
    for (const auto& l : *sorted) box->addItem(QString::fromStdString(l));
    box->setEditText(typed);
}

void TSuchenDialog::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QDialog::keyPressEvent(e);
}

}  // namespace mv32::search
