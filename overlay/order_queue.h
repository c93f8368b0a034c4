#pragma once
// Orders from the page leave through one sender thread per process, in the order the page
// sent them, so the window thread never waits for the outbox lock or a held file.
#include <string>

#include "bridge/order_files.h"

// Child start-up: starts the sender ahead of the first order, which would otherwise wait for
// the thread and the protocol file.
void StartOrderSender();

// Window thread: hands the order to the sender, which sends it as this chart's. clientId is
// the page's id for the order; keepOrderId keeps the order's own id (AutoTrader ids).
void QueueOrder(const std::string& clientId, const Order& order, bool keepOrderId);

// Window thread: takes the companion's results of sent orders and tells the page what became
// of them (executed, rejected, or unknown). Run when the folder watch sees a result land, and
// by the 500 ms tick as the fallback. "Sent" and "not sent" need no call: the sender hands
// them to the window thread's queue as soon as it knows.
void PushOrderResults();

// Window thread: whether an order of this chart is still on its way (queued, being written,
// or sent and its result not yet in, within the result wait). A restart waits for none.
[[nodiscard]] bool OrdersInFlight();

// Tells the page at once that an order never reached the sender (an unusable record, or one
// over the workspace's hard limits).
void ReportOrderNotSent(const std::string& clientId, const std::string& reason);

// The HUD of a new document announced itself: the latest fate of every order of the last
// two minutes goes to it again, so a fate pushed while the page was loading is not lost.
void RepushRecentFates();
