#include <gtest/gtest.h>

#include <vector>

#include "platform/BatchTarget.h"

namespace pictrim {
namespace {

TEST(QueuedBatchTarget, postsWaitForThePumpAndArriveInOrder) {
  std::vector<TBatchMessage> handled;
  TQueuedBatchTarget target([&](const TBatchMessage& Message) { handled.push_back(Message); });
  target.post({WM_BATCH_STATUS, 0, 0, "a.jpg"});
  target.post({WM_BATCH_FILE, 0, 0, "/out/a.jpg"});
  target.post({WM_BATCH_PROGRESS, 1, 2, {}});
  EXPECT_TRUE(handled.empty());
  target.pump();
  EXPECT_EQ(handled, (std::vector<TBatchMessage>{{WM_BATCH_STATUS, 0, 0, "a.jpg"},
                                                 {WM_BATCH_FILE, 0, 0, "/out/a.jpg"},
                                                 {WM_BATCH_PROGRESS, 1, 2, {}}}));
  target.pump();  // nothing twice
  EXPECT_EQ(handled.size(), 3u);
}

TEST(QueuedBatchTarget, whatAHandlerPostsIsHandledInTheSamePump) {
  std::vector<uint32_t> handled;
  TQueuedBatchTarget* self = nullptr;
  TQueuedBatchTarget target([&](const TBatchMessage& Message) {
    handled.push_back(Message.Message);
    if (Message.Message == WM_BATCH_PROGRESS) self->post({WM_BATCH_CANCEL, 0, 0, {}});
  });
  self = &target;
  target.post({WM_BATCH_PROGRESS, 1, 1, {}});
  target.post({WM_BATCH_STATUS, 0, 0, "done"});
  target.pump();
  EXPECT_EQ(handled, (std::vector<uint32_t>{WM_BATCH_PROGRESS, WM_BATCH_STATUS, WM_BATCH_CANCEL}));
}

}  // namespace
}  // namespace pictrim
