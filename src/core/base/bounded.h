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

// A free function rather than a lambda: a coroutine lambda's captures die with the lambda object.
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
    // GCC 12 destroys twice a temporary that a co_await expression initialises in place from braces or from a
    // lambda's captures: an aggregate awaiter written `co_await Awaiter { ... }`, an argument written `{ ... }` of
    // an aggregate type, a capturing lambda passed to the awaited call. So such an awaiter, argument or task is made
    // in a named local first, as here; every other temporary in a co_await is destroyed once, as it should be
    // (tests/test_awaittemporaries.cpp shows both).
    detail::BoundedAwaiter<T> answered { race, bound };
    co_await answered;
    co_return std::move(race->result);
}

} // namespace tidewell
