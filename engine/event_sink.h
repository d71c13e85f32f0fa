// The sink into which a stream's producer pushes events towards the Dart
// side. The event channel creates one per "listen" and hands it, exclusively
// owned, to the stream handler; whoever holds it may call it from any thread.
#ifndef RIVELO_ENGINE_EVENT_SINK_H_
#define RIVELO_ENGINE_EVENT_SINK_H_

#include <string>

#include "encoding/encodable_value.h"

namespace flutter {

template <typename T = EncodableValue>
class EventSink {
 public:
  EventSink() = default;
  virtual ~EventSink() = default;
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  // A null event sends an event without a value.
  virtual void Success(const T* event = nullptr) = 0;
  virtual void Error(const std::string& error_code,
                     const std::string& error_message = "",
                     const T* error_details = nullptr) = 0;
  virtual void EndOfStream() = 0;

  void Success(const T& event) { Success(&event); }
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_EVENT_SINK_H_
