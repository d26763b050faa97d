// Runs a call on the user-interface thread and waits for it: the crossing that scan threads use
// for every window change, question and catalog write.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "document/MarshalledUserInterface.h"

namespace mv32::app {

class QtInvoker : public document::UiInvoker {
public:
    void invoke(const std::function<void()>& call) override {
        auto* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() == app->thread()) {
            call();
            return;
        }
        QMetaObject::invokeMethod(
            app, [&call] { call(); }, Qt::BlockingQueuedConnection);
    }
};

}  // namespace mv32::app
