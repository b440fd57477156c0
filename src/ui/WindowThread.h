#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <type_traits>
#include <utility>

namespace velmora {

// Runs `work` on the thread of `context` (the window thread for any widget)
// and returns its result: directly when already there, otherwise as a
// blocking call that the window thread serves while it processes events.
// Worker threads touch widgets only through this.
template <typename Work>
auto onWindowThread(QObject* context, Work&& work) -> std::invoke_result_t<Work>
{
    using Result = std::invoke_result_t<Work>;
    if (QThread::currentThread() == context->thread()) {
        return work();
    }
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(context, std::forward<Work>(work), Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(context, std::forward<Work>(work), Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

}  // namespace velmora
