#include "edit/gui/Programmdateneingeben.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <memory>

#include "document/gui/WindowParts.h"
#include "edit/PickLists.h"
#include "edit/gui/ListEditor.h"

namespace mv32::edit {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string s(const QString& t) {
    return t.toStdString();
}

size_t at(Box b) {
    return static_cast<size_t>(b);
}

using document::button;

// A label in front of its box: the label's text (with its accelerator) names the box.
QLabel* label(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

TProgrammdateneingeben::TProgrammdateneingeben(FormMaker makeForm, document::DataSource& catalog,
                                               document::UserInterface& ui, std::string helpFolder,
                                               QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(ui), helpFolder_(std::move(helpFolder)) {
    setObjectName("Programmdateneingeben");
    setWindowTitle("Programmdaten editieren");

    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl1");
    pages_->setAccessibleName("Programmdaten editieren");
    pages_->addTab(allgemeinPage(), "Allgemein");
    pages_->addTab(datentraegerPage(), "Datenträger");
    pages_->addTab(kategoriePage(), "Kategorie/Status");
    pages_->addTab(memoPage(), "Memo");
    pages_->addTab(graphikPage(), "Graphik");
    connect(pages_, &QTabWidget::currentChanged, this, [this](int page) {
        if (page != static_cast<int>(EntryPage::Graphik)) return;
        pictureFile_->clear();
        showPicture();
    });

    nav_ = new TMyDBNavigator97(ui, this);
    nav_->setObjectName("MyDBNavigator971");
    nav_->setHints({"Erster", "Voriger", "Nächster", "Letzter", "Hinzufügen", "Löschen", "Edit",
                    "Speichern", "Rückgängig", "Refresh"});
    nav_->setConfirmDelete(true);
    nav_->setMinimumSize(264, 25);

    auto* scan =
        button("&Laufwerk scannen...", "scanbtn", this, "Wählen Sie ein Laufwerk zum scannen");
    auto* overview = button("Übersicht", "RxSpeedButton5", this);
    auto* close = button("&Schließen", "RxSpeedButton1", this, "Fenster schließen");
    auto* help = button("&Hilfe", "RxSpeedButton2", this, "Onlinehilfe konsultieren");
    connect(scan, &QPushButton::clicked, this, [this] { form_->scanDrive(); });
    connect(overview, &QPushButton::clicked, this, [this] { form_->openOverview(); });
    connect(close, &QPushButton::clicked, this, [this] { closeButton(); });
    connect(help, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(q(helpFolder_ + "b_eingabe.html")));
    });

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(scan);
    bottom->addWidget(overview);
    bottom->addStretch();
    bottom->addWidget(close);
    bottom->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nav_);
    layout->addWidget(pages_, 1);
    layout->addLayout(bottom);

    // The core, with what it shows through this window.
    EntryForm::View v;
    v.show = [this](Box b, const std::string& t) { showText(b, t); };
    v.gauge = [this](int g) { gauge_->setValue(g); };
    v.selectDrive = [this](char letter) {
        const int i = drives_->findData(QChar(letter));
        if (i >= 0) {
            showing_ = true;
            drives_->setCurrentIndex(i);
            showing_ = false;
        }
    };
    v.showPage = [this](EntryPage p) { pages_->setCurrentIndex(static_cast<int>(p)); };
    v.focusName = [this] { boxes_[at(Box::NameEdit)]->setFocus(); };
    v.pickList = [this](ListKind kind, const std::vector<std::string>& list) {
        auto* box = static_cast<QComboBox*>(
            boxes_[at(kind == ListKind::Kategorie ? Box::Kategorie : Box::Status)]);
        showing_ = true;
        const QString text = box->currentText();
        box->clear();
        for (const auto& e : list) box->addItem(q(e));
        box->setEditText(text);
        showing_ = false;
    };
    v.showPicture = [this] { showPicture(); };
    form_ = &makeForm(std::move(v));
    fillDrives();
    nav_->setDataSource(&catalog);
    nav_->navigator().beforeProcessClick = [this](NavButton b) { form_->beforeNavigatorClick(b); };
    resize(560, 420);
}

TProgrammdateneingeben::~TProgrammdateneingeben() = default;

// --- Pages -----------------------------------------------------------------------------------

QLineEdit* TProgrammdateneingeben::edit(Box b, const char* name, int maxLength, bool readOnly) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    if (maxLength > 0) e->setMaxLength(maxLength);
    e->setReadOnly(readOnly);
    if (!readOnly) {
        // Every change but the program's own display is the person's: typed, pasted, or put
        // in by dictation and automation tools through the accessibility interface.
        connect(e, &QLineEdit::textChanged, this, [this, b](const QString& t) {
            if (!showing_ && form_) form_->typed(b, s(t));
        });
    }
    boxes_[at(b)] = e;
    return e;
}

QComboBox* TProgrammdateneingeben::pickBox(Box b, const char* name) {
    // Free text as well as the list's entries; what is typed is stored as typed.
    auto* c = document::pickBox(name, this, 255);
    connect(c->lineEdit(), &QLineEdit::textChanged, this, [this, b](const QString& t) {
        if (!showing_ && form_) form_->typed(b, s(t));
    });
    connect(c, &QComboBox::textActivated, this, [this, b](const QString& t) {
        if (!showing_ && form_) form_->typed(b, s(t));
    });
    boxes_[at(b)] = c;
    return c;
}

QWidget* TProgrammdateneingeben::allgemeinPage() {
    auto* page = new QWidget(this);
    auto* g = new QGridLayout(page);
    auto* name = edit(Box::NameEdit, "NameEdit", 255);
    auto* nr = edit(Box::MediumNrEdit, "MediumNrEdit", 10);
    auto* anzahl1 = edit(Box::Anzahl1, "Anzahl1", 10);
    auto* anzahl2 = edit(Box::Anzahl2, "Anzahl2", 10);
    auto* medium = pickBox(Box::Medium, "Medium");
    for (const auto& m : mediumTypes()) medium->addItem(q(m));
    medium->setEditText({});
    g->addWidget(label("&Programm-Name:", name, page), 0, 0);
    g->addWidget(name, 0, 1, 1, 4);
    g->addWidget(label("Datenträger-&Nr.:", nr, page), 1, 0);
    g->addWidget(nr, 1, 1);
    g->addWidget(label("D&atenträger", anzahl1, page), 2, 0);
    g->addWidget(anzahl1, 2, 1);
    g->addWidget(label("&von", anzahl2, page), 2, 2);
    g->addWidget(anzahl2, 2, 3);
    g->addWidget(label("Datenträger (Art):", medium, page), 3, 0);
    g->addWidget(medium, 3, 1, 1, 4);
    g->setRowStretch(4, 1);
    g->setColumnStretch(4, 1);
    return page;
}

QWidget* TProgrammdateneingeben::datentraegerPage() {
    auto* page = new QWidget(this);
    auto* g = new QGridLayout(page);
    auto* vol = edit(Box::VolLabel, "VolLabel", 11, true);
    auto* id = edit(Box::VolID, "VolID", 8, true);
    auto* size = edit(Box::Groesse, "Groesse", 0, true);
    auto* free = edit(Box::Freespace, "Freespace", 0, true);
    drives_ = document::driveBox("DriveComboBox1", page);
    connect(drives_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!showing_) chooseDrive(i);
    });
    drives_->installEventFilter(this);
    auto* infos = button("&Informationen einholen", "Infos", page,
                         "Fügt die aktuellen Laufwerksinformationen ein");
    connect(infos, &QPushButton::clicked, this, [this] {
        const QString letter = drives_->currentData().toString();
        form_->driveInformation(letter.isEmpty() ? '?' : letter[0].toLatin1());
    });
    gauge_ = new QProgressBar(page);
    gauge_->setObjectName("Gauge1");
    gauge_->setRange(0, 100);
    gauge_->setValue(0);
    gauge_->setAccessibleName("Füllstand");
    // The hidden boxes that carry the raw sizes and the drive letter.
    for (Box b : {Box::groesse2, Box::freespace2, Box::LW}) {
        const bool isSize = b == Box::groesse2;
        const bool isFree = b == Box::freespace2;
        auto* e = edit(b, isSize ? "groesse2" : isFree ? "freespace2" : "LW", 0, true);
        e->setAccessibleName(isSize   ? "Gesamte Größe in Byte"
                             : isFree ? "Freier Speicher in Byte"
                                      : "Laufwerk");
        e->setVisible(false);
    }
    g->addWidget(label("Label:", vol, page), 0, 0);
    g->addWidget(vol, 0, 1);
    g->addWidget(label("Seriennummer:", id, page), 1, 0);
    g->addWidget(id, 1, 1);
    g->addWidget(label("Gesamte Größe:", size, page), 2, 0);
    g->addWidget(size, 2, 1);
    g->addWidget(label("Freier Speicher:", free, page), 3, 0);
    g->addWidget(free, 3, 1);
    auto* fill = new QHBoxLayout;
    fill->addWidget(new QLabel("Leer", page));
    fill->addWidget(gauge_, 1);
    fill->addWidget(new QLabel("Voll", page));
    g->addLayout(fill, 4, 0, 1, 3);
    g->addWidget(label("Lauf&werk:", drives_, page), 5, 0);
    g->addWidget(drives_, 5, 1);
    g->addWidget(infos, 5, 2);
    g->setRowStretch(6, 1);
    g->setColumnStretch(1, 1);
    return page;
}

QWidget* TProgrammdateneingeben::kategoriePage() {
    auto* page = new QWidget(this);
    auto* g = new QGridLayout(page);
    auto* status = pickBox(Box::Status, "Status");
    auto* date = edit(Box::DateTime, "DateTime", 0, true);
    auto* kategorie = pickBox(Box::Kategorie, "Kategorie");
    auto* editKategorie = button("Liste editieren", "KategorieListeBtn", page);
    auto* editStatus = button("Liste editieren", "StatusListeBtn", page);
    editKategorie->setAccessibleName("Kategorie: Liste editieren");
    editStatus->setAccessibleName("Status: Liste editieren");
    connect(editKategorie, &QPushButton::clicked, this, [this] { editList(ListKind::Kategorie); });
    connect(editStatus, &QPushButton::clicked, this, [this] { editList(ListKind::Status); });
    g->addWidget(label("Sta&tus:", status, page), 0, 0);
    g->addWidget(status, 0, 1);
    g->addWidget(editStatus, 0, 2);
    g->addWidget(label("Datum/Uhrzeit:", date, page), 1, 0);
    g->addWidget(date, 1, 1);
    g->addWidget(label("&Kategorie:", kategorie, page), 2, 0);
    g->addWidget(kategorie, 2, 1);
    g->addWidget(editKategorie, 2, 2);
    g->setRowStretch(3, 1);
    g->setColumnStretch(1, 1);
    return page;
}

QWidget* TProgrammdateneingeben::memoPage() {
    auto* page = new QWidget(this);
    auto* l = new QVBoxLayout(page);
    auto* memo = new QPlainTextEdit(page);
    memo->setObjectName("MemoEdit");
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(memo, &QPlainTextEdit::textChanged, this, [this, memo] {
        if (!showing_) form_->typed(Box::MemoEdit, s(memo->toPlainText()));
    });
    boxes_[at(Box::MemoEdit)] = memo;
    l->addWidget(label("Memo (&Begriffe):", memo, page));
    l->addWidget(memo, 1);
    return page;
}

QWidget* TProgrammdateneingeben::graphikPage() {
    auto* page = new QWidget(this);
    auto* g = new QGridLayout(page);
    pictureFile_ = new QLineEdit(page);
    pictureFile_->setObjectName("Directory");
    pictureFile_->setAccessibleName("Bilddatei");
    connect(pictureFile_, &QLineEdit::returnPressed, this, [this] {
        if (!pictureFile_->text().isEmpty()) form_->pictureChosen(s(pictureFile_->text()));
    });
    auto* browse = new QToolButton(page);
    browse->setObjectName("DirectoryBtn");
    browse->setText("...");
    browse->setAccessibleName("Bilddatei wählen");
    connect(browse, &QToolButton::clicked, this, [this] { choosePicture(); });
    stretch_ = new QCheckBox("Stretch", page);
    stretch_->setObjectName("Stretch");
    connect(stretch_, &QCheckBox::toggled, this, [this] { showPicture(); });
    picture_ = new QLabel(page);
    picture_->setObjectName("DBImage1");
    picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pictureArea_ = new QScrollArea(page);
    pictureArea_->setWidget(picture_);
    g->addWidget(pictureFile_, 0, 0);
    g->addWidget(browse, 0, 1);
    g->addWidget(stretch_, 0, 2);
    g->addWidget(pictureArea_, 1, 0, 1, 3);
    g->setRowStretch(1, 1);
    g->setColumnStretch(0, 1);
    return page;
}

// --- What the core shows ---------------------------------------------------------------------

void TProgrammdateneingeben::showText(Box b, const std::string& text) {
    QWidget* w = boxes_[at(b)];
    if (!w) return;
    showing_ = true;
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(q(text));
        e->setCursorPosition(0);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->setEditText(q(text));
    } else if (auto* m = qobject_cast<QPlainTextEdit*>(w)) {
        if (m->toPlainText() != q(text)) m->setPlainText(q(text));
    }
    showing_ = false;
}

void TProgrammdateneingeben::showPicture() {
    // A picture may be large: it is read only while its page shows.
    if (!picture_ || !form_ || pages_->currentIndex() != static_cast<int>(EntryPage::Graphik))
        return;
    const std::string bytes = form_->picture();
    QPixmap pixmap;
    // Whatever image format the stored bytes hold; bytes Qt cannot read show nothing.
    if (!bytes.empty())
        pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                            static_cast<uint>(bytes.size()));
    const bool stretch = stretch_->isChecked();
    pictureArea_->setWidgetResizable(stretch);
    picture_->setScaledContents(stretch);
    picture_->setPixmap(pixmap);
    if (!stretch) picture_->adjustSize();
}

void TProgrammdateneingeben::fillDrives() {
    // Filling the list is no choice of a drive: LW and the record stay as they are.
    showing_ = true;
    const QVariant chosen = drives_->currentData();
    drives_->clear();
    for (const auto& v : form_->drives())
        drives_->addItem(QString("%1:  %2").arg(QChar(v.letter), q(v.root)), QChar(v.letter));
    // The list shows the record's drive, else the one chosen before where it is still there.
    const std::string& lw = form_->text(Box::LW);
    int i = lw.empty() ? -1 : drives_->findData(QChar(lw[0]).toUpper());
    if (i < 0) i = drives_->findData(chosen);
    if (i >= 0) drives_->setCurrentIndex(i);
    showing_ = false;
}

bool TProgrammdateneingeben::eventFilter(QObject* watched, QEvent* e) {
    // The drive list given the focus makes its drive the record's.
    if (watched == drives_ && e->type() == QEvent::FocusIn) chooseDrive(drives_->currentIndex());
    return QWidget::eventFilter(watched, e);
}

void TProgrammdateneingeben::chooseDrive(int index) {
    const QString letter = drives_->itemData(index).toString();
    if (!letter.isEmpty()) form_->driveChosen(letter[0].toLatin1());
}

void TProgrammdateneingeben::editList(ListKind kind) {
    const auto path = form_->listToEdit(kind);
    if (!path) return;
    std::unique_ptr<TListEditor> editor;
    if (kind == ListKind::Kategorie)
        editor = std::make_unique<TListEditor>(*path, ui_, this);
    else
        editor = std::make_unique<TListEditor2>(*path, ui_, this);
    if (editor->exec() == QDialog::Accepted) form_->reloadList(kind);
}

void TProgrammdateneingeben::choosePicture() {
    const QString file = QFileDialog::getOpenFileName(
        this, "Bild laden", QString(),
        "Bitmaps (*.BMP *.bmp);;Bilder (*.png *.PNG *.jpg *.JPG *.jpeg *.JPEG *.gif *.GIF *.bmp "
        "*.BMP)");
    if (file.isEmpty()) return;
    pictureFile_->setText(file);
    form_->pictureChosen(s(file));
}

// --- Showing, hiding, closing ----------------------------------------------------------------

void TProgrammdateneingeben::reopen(bool centred) {
    // A stick plugged in since the last showing is offered; the record stays as it is.
    fillDrives();
    if (centred)
        document::centreOnScreen(this);
    else
        document::keepOnScreen(this);
    document::showInFront(this);
}

void TProgrammdateneingeben::closeButton() {
    form_->closing();
    hide();
}

void TProgrammdateneingeben::showEvent(QShowEvent* e) {
    form_->shown();
    QWidget::showEvent(e);
}

void TProgrammdateneingeben::hideEvent(QHideEvent* e) {
    form_->closing();
    QWidget::hideEvent(e);
}

void TProgrammdateneingeben::closeEvent(QCloseEvent* e) {
    // Esc and the system menu: the name rule, then hidden; the window lives on.
    form_->closing();
    QWidget::closeEvent(e);
}

void TProgrammdateneingeben::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && !isActiveWindow() && form_) form_->closing();
    QWidget::changeEvent(e);
}

void TProgrammdateneingeben::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

}  // namespace mv32::edit
