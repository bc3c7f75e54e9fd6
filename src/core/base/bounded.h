// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <QTimer>

#include <chrono>
#include <coroutine>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace tidewell {

namespace detail {

template <typename T> struct BoundedRace
{
    std::optional<T> result;
    bool timedOut = false;
    std::coroutine_handle<> waiter;
    std::function<void(T)> late;
};

// A free function rather than a lambda: GCC 12 loses the copies of a coroutine lambda's parameters.
template <typename T> QCoro::Task<> finishRace(QCoro::Task<T> running, std::shared_ptr<BoundedRace<T>> race)
{
    T value = co_await std::move(running);
    if (race->timedOut) {
        if (race->late)
            race->late(std::move(value));
        co_return;
    }
    race->result = std::move(value);
    if (const std::coroutine_handle<> waiter = std::exchange(race->waiter, nullptr))
        waiter.resume();
}

template <typename T> struct BoundedAwaiter
{
    std::shared_ptr<BoundedRace<T>> race;
    std::chrono::milliseconds bound;
    bool await_ready() const noexcept { return race->result.has_value(); }
    void await_suspend(std::coroutine_handle<> waiter)
    {
        race->waiter = waiter;
        QTimer::singleShot(bound, [race = race] {
            if (const std::coroutine_handle<> waiting = std::exchange(race->waiter, nullptr)) {
                race->timedOut = true;
                waiting.resume();
            }
        });
    }
    void await_resume() const noexcept { }
};

} // namespace detail

// Waits for `task` at most `bound`. Answers its result when it finishes in time, otherwise none; the task goes on
// regardless, and a result that comes after the bound goes to `late` (on the same thread). For operations that may
// never finish, such as a secret store waiting for a prompt nobody answers.
template <typename T>
QCoro::Task<std::optional<T>> withinBound(
    QCoro::Task<T> task, std::chrono::milliseconds bound, std::function<void(T)> late = {})
{
    auto race = std::make_shared<detail::BoundedRace<T>>();
    race->late = std::move(late);
    QCoro::Task<> finishing = detail::finishRace(std::move(task), race);
    // Named: GCC 12 destroys a temporary awaiter, or a temporary argument of an awaited call, too early.
    detail::BoundedAwaiter<T> answered { race, bound };
    co_await answered;
    co_return std::move(race->result);
}

} // namespace tidewell
