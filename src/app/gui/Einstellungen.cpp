#include "app/gui/Einstellungen.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <functional>

#include "document/SettingsDialogModel.h"

namespace mv32::app {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* note(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

QPushButton* button(const QString& caption, const char* objectName, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(objectName);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

TEinstellungen::TEinstellungen(document::SettingsDialogModel& model, std::string helpFolder,
                               QWidget* parent)
    : QDialog(parent), model_(model), helpFolder_(std::move(helpFolder)) {
    setObjectName("Einstellungen");
    setWindowTitle("Einstellungen");
    model_.open();

    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl1");
    pages_->setAccessibleName("Einstellungen");  // its window's title
    pages_->addTab(hauptdatenbankPage(), "Haupdatenbank");
    pages_->addTab(allgemeinesPage(), "Allgemeines");
    pages_->addTab(autoSavePage(), "AutoSave");
    pages_->addTab(dateidatenbankPage(), "Dateidatenbank");
    pages_->addTab(scanPage(), "Scan");
    pages_->addTab(infosPage(), "Infos");
    pages_->setCurrentIndex(0);

    auto* ok = button("&OK", "OKBtn", this);
    auto* cancel = button("&Abbrechen", "AbbrechenBtn", this);
    auto* help = button("&Hilfe", "HilfeBtn", this);
    auto* reset = button("Standard wiederherstellen", "StandardBtn", this);
    connect(ok, &QPushButton::clicked, this, [this] { okClick(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QString::fromStdString(helpFolder_ + "e_einstellungen.html")));
    });
    connect(reset, &QPushButton::clicked, this, [this] {
        model_.restoreDefaults();
        load();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reset);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(help);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addLayout(buttons);
    load();
    setFixedSize(sizeHint().expandedTo(QSize(560, 470)));
}

void TEinstellungen::keyPressEvent(QKeyEvent* e) {
    // Enter closes the dialog like "&Abbrechen"; only "&OK" applies.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        reject();
        return;
    }
    QDialog::keyPressEvent(e);
}

QCheckBox* TEinstellungen::box(const QString& caption, const char* objectName,
                               const std::function<void(bool)>& apply) {
    auto* b = new QCheckBox(caption, this);
    b->setObjectName(objectName);
    connect(b, &QCheckBox::toggled, this, [this, apply](bool on) {
        if (loading_) return;
        apply(on);
        load();
    });
    return b;
}

QWidget* TEinstellungen::hauptdatenbankPage() {
    auto* page = new QWidget;
    auto* tabelle = new QGroupBox("Tabelle", page);
    auto* packen = button("Packen", "PackenBtn", tabelle);
    auto* leeren = button("Leeren", "LeerenBtn", tabelle);
    auto* reind = button("Reindizieren", "ReindizierenBtn", tabelle);
    connect(packen, &QPushButton::clicked, this, [this] { model_.Packen(); });
    connect(leeren, &QPushButton::clicked, this, [this] { model_.Leeren(); });
    connect(reind, &QPushButton::clicked, this, [this] { model_.Reindizieren(); });
    auto* t = new QVBoxLayout(tabelle);
    t->addWidget(packen);
    t->addWidget(leeren);
    t->addWidget(reind);
    t->addStretch();

    auto* sek = new QGroupBox("Sekundärindizes", page);
    auto* s = new QGridLayout(sek);
    const char* captions[] = {"Datenträger-Nr.", "Datenträger", "Label",     "Gesamte Größe",
                              "Freier Speicher", "Status",      "Kategorie", "Laufwerk"};
    const char* names[] = {"DatentraegerNrInd",  "DatentraegerInd",    "LabelInd",
                           "Gesamte_GroesseInd", "Freier_SpeicherInd", "StatusInd",
                           "KategorieInd",       "LaufwerkInd"};
    for (size_t i = 0; i < indexBoxes_.size(); ++i) {
        indexBoxes_[i] =
            box(captions[i], names[i], [this, i](bool on) { model_.values().indexOn[i] = on; });
        s->addWidget(indexBoxes_[i], static_cast<int>(i % 4), static_cast<int>(i / 4));
    }

    userSql_ = new QPlainTextEdit(page);
    userSql_->setObjectName("UserSQLMemo");
    connect(userSql_, &QPlainTextEdit::textChanged, this, [this] {
        if (loading_) return;
        QString text = userSql_->toPlainText();
        if (text.size() > 255) {  // the store holds at most 255 characters
            text.truncate(255);
            loading_ = true;
            userSql_->setPlainText(text);
            userSql_->moveCursor(QTextCursor::End);
            loading_ = false;
        }
        model_.values().UserSQL = text.toStdString();
    });

    auto* top = new QHBoxLayout;
    top->addWidget(tabelle);
    top->addWidget(sek, 1);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(top);
    auto* sqlLabel = new QLabel("Benutzerdefinierte SQL-Anweisung: (über F9 aufzurufen)", page);
    sqlLabel->setBuddy(userSql_);  // the label names the box
    layout->addWidget(sqlLabel);
    layout->addWidget(userSql_);
    return page;
}

QWidget* TEinstellungen::allgemeinesPage() {
    auto* page = new QWidget;
    auto& v = model_.values();
    debug_ = box("Debug Modus", "CreateLogFile", [&v](bool on) { v.CreateLogFile = on; });
    readLast_ = box("Zuletzt geöffnete Datei beim Start laden", "ReadLastfile",
                    [&v](bool on) { v.ReadLastfile = on; });
    noFun_ = box("Grafische Elemente ausblenden", "NoFun", [&v](bool on) { v.NoFun = on; });
    backup_ = box("Erzeuge Backup der Datenbank beim Speichern", "Backup",
                  [&v](bool on) { v.Backup = on; });
    auto* layout = new QVBoxLayout(page);
    for (auto* b : {debug_, readLast_, noFun_, backup_}) layout->addWidget(b);
    layout->addStretch();
    return page;
}

QWidget* TEinstellungen::autoSavePage() {
    auto* page = new QWidget;
    autoSave_ =
        box("&AutoSave aktivieren", "AutoSave", [this](bool on) { model_.setAutoSave(on); });
    asAender_ =
        box("Anzahl der Änderungen:", "ASAender", [this](bool on) { model_.setASAender(on); });
    asZeit_ = box("Zeit in Minuten:", "ASZeit", [this](bool on) { model_.setASZeit(on); });
    changes_ = new QLineEdit(page);
    changes_->setObjectName("AutoSaveValue");
    changes_->setMaxLength(4);
    changes_->setValidator(new QIntValidator(0, 9999, changes_));
    changes_->setFixedWidth(70);
    changes_->setAccessibleName("Anzahl der Änderungen");  // the check box in front names it
    connect(changes_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.autoSaveValueText = t.toStdString(); });
    minutes_ = new QLineEdit(page);
    minutes_->setObjectName("AutoSaveValueZeit");
    minutes_->setMaxLength(2);
    minutes_->setValidator(new QIntValidator(0, 99, minutes_));
    minutes_->setFixedWidth(70);
    minutes_->setAccessibleName("Zeit in Minuten");
    connect(minutes_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.autoSaveValueZeitText = t.toStdString(); });

    auto* grid = new QGridLayout;
    grid->addWidget(asAender_, 0, 0);
    grid->addWidget(changes_, 0, 1);
    grid->addWidget(new QLabel("(1-9999)", page), 0, 2);
    grid->addWidget(asZeit_, 1, 0);
    grid->addWidget(minutes_, 1, 1);
    grid->addWidget(new QLabel("(1-60)", page), 1, 2);
    grid->setColumnStretch(3, 1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(autoSave_);
    layout->addSpacing(8);
    layout->addWidget(new QLabel("Intervalle für die automatische Sicherung:", page));
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addWidget(
        note("Hinweis: Es ist empfehlenswert, die Zahlen nicht zu hoch zu wählen.", page));
    layout->addStretch();
    return page;
}

QWidget* TEinstellungen::dateidatenbankPage() {
    auto* page = new QWidget;
    folder_ = new QLineEdit(page);
    folder_->setObjectName("DatenbankPfad");
    connect(folder_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.values().DatenbankPfad = t.toStdString(); });
    auto* pick = button("...", "DatenbankPfadBtn", page);
    pick->setFixedWidth(32);
    pick->setAccessibleName("Datenbankpfad wählen");
    connect(pick, &QPushButton::clicked, this, [this] {
        QString dir = QFileDialog::getExistingDirectory(this, "Datenbankpfad", folder_->text());
        if (dir.isEmpty()) return;
        model_.values().DatenbankPfad = dir.toStdString();
        load();
    });
    auto* row = new QHBoxLayout;
    auto* label = new QLabel("Datenbankpfad:", page);
    label->setBuddy(folder_);
    row->addWidget(label);
    row->addWidget(folder_, 1);
    row->addWidget(pick);

    sekIndex_ = box("Sekundärindizes erzeugen", "SekIndexActive",
                    [this](bool on) { model_.setSekIndexActive(on); });
    auto* tabelle = new QGroupBox("Tabelle", page);
    auto* t = new QHBoxLayout(tabelle);
    auto* packen = button("Packen", "ListePackenBtn", tabelle);
    auto* leeren = button("Leeren", "ListeLeerenBtn", tabelle);
    auto* reind = button("Reindizieren", "ListeReindizierenBtn", tabelle);
    connect(packen, &QPushButton::clicked, this, [this] { model_.FileListPacken(); });
    connect(leeren, &QPushButton::clicked, this, [this] { model_.FileListLeeren(); });
    connect(reind, &QPushButton::clicked, this, [this] { model_.FileListReindizieren(); });
    for (auto* b : {packen, leeren, reind}) t->addWidget(b);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(row);
    layout->addSpacing(8);
    layout->addWidget(sekIndex_);
    layout->addWidget(note("Ermöglicht die Erstellung von Sekundärindizes.", page));
    layout->addWidget(note("Einstellungen werden beim nächsten scannen gültig.", page));
    layout->addSpacing(8);
    layout->addWidget(
        note("Hinweis: Eine Aktivierung (Erzeugung) der Sekundärindizes erhöht den "
             "Bedienkomfort des Programmes, zieht jedoch eine verstärkte Speicher- "
             "belegung der Festplatte nach sich.",
             page));
    layout->addWidget(
        note("Haben Sie mehr als 100.000 Dateien in der Datei-DB, so sollte diese "
             "Option deaktiviert werden.",
             page));
    layout->addWidget(tabelle);
    layout->addStretch();
    return page;
}

QWidget* TEinstellungen::scanPage() {
    auto* page = new QWidget;
    filesBbs_ = box("FILES.BBS automatisch einlesen", "ReadFilesBBS",
                    [this](bool on) { model_.setReadFilesBBS(on); });
    fileIdDiz_ = box("FILE_ID.DIZ extrahieren", "ReadFileIDDIZ",
                     [this](bool on) { model_.setReadFileIDDIZ(on); });
    background_ = box("Laufwerksscan im Hintergrund", "ScanBackground",
                      [this](bool on) { model_.setScanBackground(on); });
    hidden_ = box("Ignoriere versteckte Dateien", "Hidden",
                  [this](bool on) { model_.values().Hidden = on; });
    auto* layout = new QVBoxLayout(page);
    for (auto* b : {filesBbs_, fileIdDiz_, background_, hidden_}) layout->addWidget(b);
    layout->addStretch();
    return page;
}

QWidget* TEinstellungen::infosPage() {
    auto* page = new QWidget;
    email_ = new QLineEdit(page);
    email_->setObjectName("Email");
    email_->setReadOnly(true);
    url_ = new QLineEdit(page);
    url_->setObjectName("URL");
    url_->setReadOnly(true);
    auto* form = new QFormLayout;
    form->addRow("EMail-Adresse:", email_);
    form->addRow("Webseite:", url_);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addWidget(
        note("Haben Sie Fragen zum Programm oder seinen Einstellungen, wenden Sie "
             "sich an die obige Adresse.",
             page));
    layout->addStretch();
    return page;
}

void TEinstellungen::load() {
    loading_ = true;
    const auto& v = model_.values();
    if (userSql_->toPlainText() != q(v.UserSQL)) userSql_->setPlainText(q(v.UserSQL));
    for (size_t i = 0; i < indexBoxes_.size(); ++i) indexBoxes_[i]->setChecked(v.indexOn[i]);
    debug_->setChecked(v.CreateLogFile);
    readLast_->setChecked(v.ReadLastfile);
    noFun_->setChecked(v.NoFun);
    backup_->setChecked(v.Backup);
    autoSave_->setChecked(v.AutoSave);
    asAender_->setChecked(v.ASAender);
    asZeit_->setChecked(v.ASZeit);
    const bool enabled = model_.triggersEnabled();
    for (QWidget* w : std::initializer_list<QWidget*>{asAender_, asZeit_, changes_, minutes_})
        w->setEnabled(enabled);
    changes_->setText(q(model_.autoSaveValueText));
    minutes_->setText(q(model_.autoSaveValueZeitText));
    if (folder_->text() != q(v.DatenbankPfad)) folder_->setText(q(v.DatenbankPfad));
    sekIndex_->setChecked(v.SekIndexActive);
    filesBbs_->setChecked(v.ReadFilesBBS);
    fileIdDiz_->setChecked(v.ReadFileIDDIZ);
    background_->setChecked(v.ScanBackground);
    hidden_->setChecked(v.Hidden);
    email_->setText(q(v.Email));
    url_->setText(q(v.URL));
    loading_ = false;
}

void TEinstellungen::okClick() {
    model_.ok();
    accept();
}

}  // namespace mv32::app
