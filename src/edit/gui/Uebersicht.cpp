#include "edit/gui/Uebersicht.h"
#include "document/gui/WindowParts.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <vector>

namespace mv32::edit {

namespace {

using document::button;

}  // namespace

TUebersicht::TUebersicht(CategoryTree& tree, std::function<void()> openEntry, QWidget* parent)
    : QWidget(parent, Qt::Window), core_(tree), openEntry_(std::move(openEntry)) {
    setObjectName("Uebersicht");
    setWindowTitle("Treeview");

    model_ = new CategoryTreeModel(this);
    view_ = new QTreeView(this);
    view_->setObjectName("TreeView1");
    view_->setModel(model_);
    view_->setHeaderHidden(true);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setAccessibleName("Treeview");
    view_->setUniformRowHeights(true);
    connect(view_, &QTreeView::doubleClicked, this, [this](const QModelIndex& at) {
        if (core_.selectName(model_->text(at).toStdString()) && openEntry_) openEntry_();
    });

    refresh_ = button("Aktualisieren", "RefreshBtn", this);
    save_ = button("Speichern", "SaveBtn", this);
    load_ = button("Laden", "LoadBtn", this);
    close_ = button("Schließen", "CloseBtn", this);
    connect(refresh_, &QPushButton::clicked, this, [this] { refresh(); });
    connect(save_, &QPushButton::clicked, this, [this] {
        setBusy(true);
        core_.save();
        setBusy(false);
    });
    connect(load_, &QPushButton::clicked, this, [this] {
        setBusy(true);
        model_->show(nullptr, {}, {});  // the lines change below the view
        core_.load();
        showLines();
        setBusy(false);
    });
    connect(close_, &QPushButton::clicked, this, &QWidget::hide);

    tool_ = new QGroupBox(this);
    tool_->setObjectName("Tool");
    tool_->setAccessibleName("Baum");
    expand_ = new QRadioButton("Expand", tool_);
    expand_->setObjectName("ExpandBtn");
    auto* collapse = new QRadioButton("Collapse", tool_);
    collapse->setObjectName("CollapseBtn");
    collapse->setChecked(true);
    auto* toolLayout = new QHBoxLayout(tool_);
    toolLayout->addWidget(expand_);
    toolLayout->addWidget(collapse);
    connect(expand_, &QRadioButton::toggled, this, [this] { applyTool(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh_);
    buttons->addWidget(save_);
    buttons->addWidget(load_);
    buttons->addWidget(tool_);
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Doppelklicken, um die Einträge zu bearbeiten", this));
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    showLines();
    resize(480, 560);
}

void TUebersicht::refresh() {
    setBusy(true);
    model_->show(nullptr, {}, {});
    core_.build();
    showLines();
    setBusy(false);
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
}

void TUebersicht::showLines() {
    model_->show(&core_.lines(), style()->standardIcon(QStyle::SP_DirIcon),
                 style()->standardIcon(QStyle::SP_FileIcon));
    applyTool();
}

void TUebersicht::applyTool() {
    if (expand_->isChecked())
        view_->expandAll();
    else
        view_->collapseAll();
}

void TUebersicht::setBusy(bool busy) {
    // The four buttons: a tree half built, saved or loaded is not closed either.
    for (QWidget* w : std::initializer_list<QWidget*>{view_, refresh_, save_, load_, close_, tool_})
        w->setEnabled(!busy);
}

void TUebersicht::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        if (close_->isEnabled()) hide();
        return;
    }
    QWidget::keyPressEvent(e);
}

}  // namespace mv32::edit
