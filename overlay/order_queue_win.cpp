#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/order_outbox.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "overlay/hud_channel_win.h"
#include "overlay/order_fate.h"
#include "overlay/order_queue.h"
#include "overlay/ui_queue.h"
#include "overlay/web_message.h"

namespace {

// A result usually comes within a second or two; after this the page keeps "sent to
// terminal" (a companion of the first version writes none) and the daemon sweeps the file.
constexpr ULONGLONG kResultWaitMs = 120000;

struct Job {
  std::string client;
  Order order;
  bool keepId = false;
};

struct Awaited {
  std::string client;
  std::string id;
  ULONGLONG until = 0;
};

std::mutex g_lock;
std::condition_variable g_wake;
std::deque<Job> g_jobs;
bool g_senderStarted = false;
// Orders queued whose first fate (sent or not) the window thread has not taken yet.
std::size_t g_unreported = 0;
std::vector<Awaited> g_awaited;  // window thread only
struct Told {
  OrderFate fate;
  ULONGLONG at = 0;
};
std::vector<Told> g_told;  // window thread only: the latest fate of each recent order

void Push(const OrderFate& fate);

// Window thread: the sender's word on one order.
void TakeFate(const OrderFate& fate) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_unreported > 0) --g_unreported;
  }
  Push(fate);
  if (fate.status == OrderFate::Status::kSent) {
    g_awaited.push_back({fate.client, fate.id, ::GetTickCount64() + kResultWaitMs});
    // A fast companion's result can land before this hand-over, and the folder watch then
    // had no order to give it to: it is looked for now rather than at the next tick.
    PushOrderResults();
  }
}

// Sender thread: "sent" (or "not sent") reaches the ticket at once through the window
// thread's queue. A post that fails means the window is gone, and with it the page to tell.
void HandOver(OrderFate fate) {
  const std::string id = fate.id;
  if (PostToWindowThread([fate = std::move(fate)] { TakeFate(fate); })) return;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_unreported > 0) --g_unreported;
  }
  LogDebug("The fate of order " + (id.empty() ? std::string("(no id)") : id) +
           " could not reach the window thread; it is gone.");
}

void SendOne(const Job& job) {
  Order order = job.order;
  order.chart = g_launch.chartWindow;
  const OrderSend send = SendOrder(order, job.keepId);
  OrderFate fate;
  fate.client = job.client;
  fate.id = send.order.id;
  const std::string& symbol = send.order.symbol;
  if (send.status.ok()) {
    fate.status = OrderFate::Status::kSent;
    if (!send.step.empty()) LogDebug("Order " + send.order.id + ": could not " + send.step);
    LogDebug("Emitted Quorvale Trade Signal to MT5 [" + symbol + "]: " + send.record +
             (send.order.account.empty() ? "" : " for account " + send.order.account));
  } else {
    fate.status = OrderFate::Status::kNotSent;
    fate.reason = send.refusal.empty() ? DescribeWriteError(send.status.error) : send.refusal;
    LogDebug("Quorvale Trade Signal NOT sent [" + symbol + "]: " + PrintableForLog(send.record) +
             " (could not " + send.step + ": " + fate.reason + ")");
  }
  HandOver(std::move(fate));
}

void SenderLoop() noexcept {
  // Written before the first click, so that click does not wait on it as well; a failure
  // here is written again by the first order, which reports it if it persists.
  try {
    const WriteStatus protocol = WriteProtocolFile();
    if (!protocol.ok()) {
      LogDebug("Could not write QV_Protocol.txt yet: " + DescribeWriteError(protocol.error));
    }
  } catch (...) {
    LogDebug("Could not write QV_Protocol.txt yet: internal error");
  }
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> hold(g_lock);
      g_wake.wait(hold, [] { return !g_jobs.empty(); });
      job = std::move(g_jobs.front());
      g_jobs.pop_front();
    }
    try {
      SendOne(job);
    } catch (...) {
      LogDebug("Order sender exception handled; the order was not sent.");
      OrderFate fate;
      fate.client = job.client;
      fate.reason = "internal error";
      HandOver(std::move(fate));
    }
  }
}

void Push(const OrderFate& fate) {
  const ULONGLONG now = ::GetTickCount64();
  for (std::size_t i = 0; i < g_told.size();) {
    if (g_told[i].fate.client == fate.client || now - g_told[i].at > kResultWaitMs) {
      g_told.erase(g_told.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  g_told.push_back({fate, now});
  // No HUD to tell right now (a page loading): the fate waits in g_told for the next one.
  (void)PushToHud(OrderFatePush(fate));
}

// Caller holds g_lock.
bool SenderRunning() {
  if (g_senderStarted) return true;
  try {
    std::thread(SenderLoop).detach();
    g_senderStarted = true;
  } catch (const std::exception&) {
    LogDebug("Could not start the order sender thread.");
  }
  return g_senderStarted;
}

}  // namespace

void StartOrderSender() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (!SenderRunning()) LogDebug("The first order will try to start the sender again.");
}

void QueueOrder(const std::string& clientId, const Order& order, bool keepOrderId) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (SenderRunning()) {
      g_jobs.push_back({clientId, order, keepOrderId});
      ++g_unreported;
      g_wake.notify_one();
      return;
    }
  }
  LogDebug("Quorvale Trade Signal NOT sent: no sender thread.");
  ReportOrderNotSent(clientId, "no sender thread");
}

bool OrdersInFlight() {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_unreported > 0) return true;
  }
  return !g_awaited.empty();
}

void ReportOrderNotSent(const std::string& clientId, const std::string& reason) {
  OrderFate fate;
  fate.client = clientId;
  fate.reason = reason;
  Push(fate);
}

void RepushRecentFates() {
  const ULONGLONG now = ::GetTickCount64();
  for (const Told& told : g_told) {
    // A push the HUD cannot take now is retried at its next announcement.
    if (now - told.at <= kResultWaitMs) (void)PushToHud(OrderFatePush(told.fate));
  }
}

void PushOrderResults() {
  const ULONGLONG now = ::GetTickCount64();
  for (std::size_t i = 0; i < g_awaited.size();) {
    const Awaited& a = g_awaited[i];
    const std::optional<TradeResult> result = TakeTradeResult(a.id);
    if (result) {
      const OrderFate fate = FateFromResult(a.client, a.id, *result);
      LogDebug("Order " + a.id + " " + OrderFateStatusName(fate.status) +
               (fate.ticket.empty() ? "" : " ticket " + fate.ticket) +
               (fate.reason.empty() ? "" : ": " + PrintableForLog(fate.reason)));
      Push(fate);
    }
    if (result || now > a.until) {
      g_awaited.erase(g_awaited.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}
