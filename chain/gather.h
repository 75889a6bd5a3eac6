#pragma once
// Questions asked from many threads that a service answers in bulk: one bulk call is
// in flight at a time, the questions asked meanwhile wait in batches of at most cap,
// and the first asker of the next batch sends it. There is no timer: a lone question
// goes at once, and a crowd of them goes in few calls.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace chain {

template <typename Question, typename Answer>
class Gatherer {
public:
    // Answers a batch, one answer per question in its place.
    using Send = std::function<std::vector<Answer>(const std::vector<Question>&)>;

    explicit Gatherer(std::size_t cap) : cap_(cap > 0 ? cap : 1) {}

    // The answer to q, sent with whatever else waits; failed when the call's answer list
    // came back short.
    Answer ask(Question q, const Send& send, Answer failed) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (waiting_.empty() || waiting_.back()->questions.size() >= cap_) waiting_.push_back(std::make_shared<Batch>());
        const std::shared_ptr<Batch> batch = waiting_.back();
        const std::size_t index = batch->questions.size();
        batch->questions.push_back(std::move(q));
        changed_.wait(lock, [&] { return batch->done || (!in_flight_ && waiting_.front() == batch); });
        if (!batch->done) {
            in_flight_ = true;
            waiting_.pop_front();
            lock.unlock();
            std::vector<Answer> answers = send(batch->questions);
            lock.lock();
            batch->answers = std::move(answers);
            batch->done = true;
            in_flight_ = false;
            changed_.notify_all();
        }
        return index < batch->answers.size() ? batch->answers[index] : failed;
    }

private:
    struct Batch {
        std::vector<Question> questions;
        std::vector<Answer> answers;
        bool done = false;
    };

    const std::size_t cap_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Batch>> waiting_;  // the last one still takes questions
    bool in_flight_ = false;
};

}  // namespace chain
