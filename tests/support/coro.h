// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QEventLoop>
#include <exception>
#include <optional>
#include <stdexcept>
#include <typeinfo>

namespace detail {

// Awaits `task` and records how it ended; QCoro::waitFor is not used because it never returns when the task
// throws.
template <typename T>
QCoro::Task<> settle(
    QCoro::Task<T> task, std::optional<T>& result, std::exception_ptr& error, bool& done, QEventLoop& loop)
{
    try {
        result.emplace(co_await std::move(task));
    } catch (...) {
        error = std::current_exception();
    }
    done = true;
    loop.quit();
}

inline QCoro::Task<> settle(QCoro::Task<> task, std::exception_ptr& error, bool& done, QEventLoop& loop)
{
    try {
        co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    done = true;
    loop.quit();
}

} // namespace detail

// Runs a task to its end from a test function, spinning the event loop meanwhile; rethrows what it threw.
template <typename T> T await(QCoro::Task<T>&& task)
{
    QEventLoop loop;
    std::exception_ptr error;
    bool done = false;
    if constexpr (std::is_void_v<T>) {
        auto runner = detail::settle(std::move(task), error, done, loop);
        if (!done)
            loop.exec();
        if (error)
            std::rethrow_exception(error);
    } else {
        std::optional<T> result;
        auto runner = detail::settle(std::move(task), result, error, done, loop);
        if (!done)
            loop.exec();
        if (error)
            std::rethrow_exception(error);
        return std::move(*result);
    }
}

// Runs a task that must fail with E and returns the error; any other outcome fails the test through an exception
// that Qt Test reports.
template <typename E, typename T> E awaitError(QCoro::Task<T>&& task)
{
    try {
        await(std::move(task));
    } catch (const E& error) {
        return error;
    }
    // Joined as a QByteArray: GCC 12 reports a false overflow in std::string's inlined append here.
    const QByteArray message
        = QByteArrayLiteral("the operation succeeded where it should have failed with ") + QByteArray(typeid(E).name());
    throw std::logic_error(message.constData());
}
