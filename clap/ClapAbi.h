#pragma once
// Our own declarations of the CLAP 1.2.10 binary interface: the records, constants and identifiers that the
// CLAP adapter and the command-line host use. Every record is a plain C struct laid out exactly as the published
// interface defines it (natural x86-64 alignment); the static_asserts at the end pin sizes and field offsets so a
// layout slip breaks the build instead of a host. Names are the interface's own, so they read like the standard.

#include <cstddef>
#include <cstdint>

extern "C" {

// ---- Scalar types -------------------------------------------------------------------------------------------

typedef uint32_t clap_id;
typedef int64_t clap_beattime;
typedef int64_t clap_sectime;
typedef int32_t clap_process_status;
typedef int32_t clap_log_severity;
typedef int32_t clap_plugin_render_mode;
typedef uint32_t clap_param_info_flags;
typedef uint32_t clap_param_rescan_flags;
typedef uint32_t clap_param_clear_flags;
typedef uint32_t clap_posix_fd_flags_t;
typedef unsigned long clap_xwnd;
typedef void* clap_hwnd;
typedef void* clap_nsview;
typedef void* clap_uiview;

// ---- Constants ----------------------------------------------------------------------------------------------

inline constexpr clap_id CLAP_INVALID_ID = UINT32_MAX;
inline constexpr uint32_t CLAP_VERSION_MAJOR = 1;
inline constexpr uint32_t CLAP_VERSION_MINOR = 2;
inline constexpr uint32_t CLAP_VERSION_REVISION = 10;
inline constexpr int64_t CLAP_BEATTIME_FACTOR = int64_t(1) << 31;
inline constexpr int64_t CLAP_SECTIME_FACTOR = int64_t(1) << 31;
inline constexpr uint32_t CLAP_NAME_SIZE = 256;
inline constexpr uint32_t CLAP_PATH_SIZE = 1024;
inline constexpr uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;

enum : clap_process_status {
  CLAP_PROCESS_ERROR = 0,
  CLAP_PROCESS_CONTINUE = 1,
  CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
  CLAP_PROCESS_TAIL = 3,
  CLAP_PROCESS_SLEEP = 4,
};

enum : clap_log_severity {
  CLAP_LOG_DEBUG = 0,
  CLAP_LOG_INFO = 1,
  CLAP_LOG_WARNING = 2,
  CLAP_LOG_ERROR = 3,
  CLAP_LOG_FATAL = 4,
  CLAP_LOG_HOST_MISBEHAVING = 5,
  CLAP_LOG_PLUGIN_MISBEHAVING = 6,
};

enum : clap_plugin_render_mode {
  CLAP_RENDER_REALTIME = 0,
  CLAP_RENDER_OFFLINE = 1,
};

enum : uint16_t {
  CLAP_EVENT_NOTE_ON = 0,
  CLAP_EVENT_NOTE_OFF = 1,
  CLAP_EVENT_NOTE_CHOKE = 2,
  CLAP_EVENT_NOTE_END = 3,
  CLAP_EVENT_NOTE_EXPRESSION = 4,
  CLAP_EVENT_PARAM_VALUE = 5,
  CLAP_EVENT_PARAM_MOD = 6,
  CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
  CLAP_EVENT_PARAM_GESTURE_END = 8,
  CLAP_EVENT_TRANSPORT = 9,
  CLAP_EVENT_MIDI = 10,
  CLAP_EVENT_MIDI_SYSEX = 11,
  CLAP_EVENT_MIDI2 = 12,
};

enum : uint32_t {
  CLAP_EVENT_IS_LIVE = 1,
  CLAP_EVENT_DONT_RECORD = 2,
};

enum : uint32_t {
  CLAP_TRANSPORT_HAS_TEMPO = 1,
  CLAP_TRANSPORT_HAS_BEATS_TIMELINE = 2,
  CLAP_TRANSPORT_HAS_SECONDS_TIMELINE = 4,
  CLAP_TRANSPORT_HAS_TIME_SIGNATURE = 8,
  CLAP_TRANSPORT_IS_PLAYING = 16,
  CLAP_TRANSPORT_IS_RECORDING = 32,
  CLAP_TRANSPORT_IS_LOOP_ACTIVE = 64,
  CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL = 128,
};

enum : clap_param_info_flags {
  CLAP_PARAM_IS_STEPPED = 1,
  CLAP_PARAM_IS_PERIODIC = 2,
  CLAP_PARAM_IS_HIDDEN = 4,
  CLAP_PARAM_IS_READONLY = 8,
  CLAP_PARAM_IS_BYPASS = 16,
  CLAP_PARAM_IS_AUTOMATABLE = 32,
  CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID = 64,
  CLAP_PARAM_IS_AUTOMATABLE_PER_KEY = 128,
  CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL = 256,
  CLAP_PARAM_IS_AUTOMATABLE_PER_PORT = 512,
  CLAP_PARAM_IS_MODULATABLE = 1024,
  CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID = 2048,
  CLAP_PARAM_IS_MODULATABLE_PER_KEY = 4096,
  CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL = 8192,
  CLAP_PARAM_IS_MODULATABLE_PER_PORT = 16384,
  CLAP_PARAM_REQUIRES_PROCESS = 32768,
  CLAP_PARAM_IS_ENUM = 65536,
};

enum : clap_param_rescan_flags {
  CLAP_PARAM_RESCAN_VALUES = 1,
  CLAP_PARAM_RESCAN_TEXT = 2,
  CLAP_PARAM_RESCAN_INFO = 4,
  CLAP_PARAM_RESCAN_ALL = 8,
};

enum : clap_param_clear_flags {
  CLAP_PARAM_CLEAR_ALL = 1,
  CLAP_PARAM_CLEAR_AUTOMATIONS = 2,
  CLAP_PARAM_CLEAR_MODULATIONS = 4,
};

enum : uint32_t {
  CLAP_AUDIO_PORT_IS_MAIN = 1,
  CLAP_AUDIO_PORT_SUPPORTS_64BITS = 2,
  CLAP_AUDIO_PORT_PREFERS_64BITS = 4,
  CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 8,
};

enum : uint64_t {
  CLAP_TRACK_INFO_HAS_TRACK_NAME = 1,
  CLAP_TRACK_INFO_HAS_TRACK_COLOR = 2,
  CLAP_TRACK_INFO_HAS_AUDIO_CHANNEL = 4,
  CLAP_TRACK_INFO_IS_FOR_RETURN_TRACK = 8,
  CLAP_TRACK_INFO_IS_FOR_BUS = 16,
  CLAP_TRACK_INFO_IS_FOR_MASTER = 32,
};

enum : clap_posix_fd_flags_t {
  CLAP_POSIX_FD_READ = 1,
  CLAP_POSIX_FD_WRITE = 2,
  CLAP_POSIX_FD_ERROR = 4,
};

inline constexpr char CLAP_PORT_MONO[] = "mono";
inline constexpr char CLAP_PORT_STEREO[] = "stereo";

inline constexpr char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";
inline constexpr char CLAP_EXT_STATE[] = "clap.state";
inline constexpr char CLAP_EXT_RENDER[] = "clap.render";
inline constexpr char CLAP_EXT_LATENCY[] = "clap.latency";
inline constexpr char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
inline constexpr char CLAP_EXT_AUDIO_PORTS_CONFIG[] = "clap.audio-ports-config";
inline constexpr char CLAP_EXT_PARAMS[] = "clap.params";
inline constexpr char CLAP_EXT_NOTE_PORTS[] = "clap.note-ports";
inline constexpr char CLAP_EXT_GUI[] = "clap.gui";
inline constexpr char CLAP_EXT_TAIL[] = "clap.tail";
inline constexpr char CLAP_EXT_LOG[] = "clap.log";
inline constexpr char CLAP_EXT_THREAD_CHECK[] = "clap.thread-check";
inline constexpr char CLAP_EXT_TRACK_INFO[] = "clap.track-info/1";
inline constexpr char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";
inline constexpr char CLAP_EXT_POSIX_FD_SUPPORT[] = "clap.posix-fd-support";

inline constexpr char CLAP_WINDOW_API_WIN32[] = "win32";
inline constexpr char CLAP_WINDOW_API_COCOA[] = "cocoa";
inline constexpr char CLAP_WINDOW_API_X11[] = "x11";
inline constexpr char CLAP_WINDOW_API_WAYLAND[] = "wayland";

// ---- Version, entry, factory, descriptor ----------------------------------------------------------------------

typedef struct clap_version {
  uint32_t major;
  uint32_t minor;
  uint32_t revision;
} clap_version_t;

inline constexpr clap_version_t CLAP_VERSION = {CLAP_VERSION_MAJOR, CLAP_VERSION_MINOR, CLAP_VERSION_REVISION};

// Versions 0.x were drafts; anything from 1.0 on shares this binary interface.
inline constexpr bool clap_version_is_compatible(const clap_version_t v) { return v.major >= 1; }

typedef struct clap_plugin_entry {
  clap_version_t clap_version;
  bool (*init)(const char* plugin_path);
  void (*deinit)(void);
  const void* (*get_factory)(const char* factory_id);
} clap_plugin_entry_t;

typedef struct clap_plugin_descriptor {
  clap_version_t clap_version;
  const char* id;
  const char* name;
  const char* vendor;
  const char* url;
  const char* manual_url;
  const char* support_url;
  const char* version;
  const char* description;
  const char* const* features;
} clap_plugin_descriptor_t;

struct clap_host;
struct clap_plugin;

typedef struct clap_plugin_factory {
  uint32_t (*get_plugin_count)(const struct clap_plugin_factory* factory);
  const clap_plugin_descriptor_t* (*get_plugin_descriptor)(const struct clap_plugin_factory* factory,
                                                           uint32_t index);
  const struct clap_plugin* (*create_plugin)(const struct clap_plugin_factory* factory,
                                             const struct clap_host* host, const char* plugin_id);
} clap_plugin_factory_t;

// ---- Host and plug-in -----------------------------------------------------------------------------------------

typedef struct clap_host {
  clap_version_t clap_version;
  void* host_data;
  const char* name;
  const char* vendor;
  const char* url;
  const char* version;
  const void* (*get_extension)(const struct clap_host* host, const char* extension_id);
  void (*request_restart)(const struct clap_host* host);
  void (*request_process)(const struct clap_host* host);
  void (*request_callback)(const struct clap_host* host);
} clap_host_t;

struct clap_process;

typedef struct clap_plugin {
  const clap_plugin_descriptor_t* desc;
  void* plugin_data;
  bool (*init)(const struct clap_plugin* plugin);
  void (*destroy)(const struct clap_plugin* plugin);
  bool (*activate)(const struct clap_plugin* plugin, double sample_rate, uint32_t min_frames_count,
                   uint32_t max_frames_count);
  void (*deactivate)(const struct clap_plugin* plugin);
  bool (*start_processing)(const struct clap_plugin* plugin);
  void (*stop_processing)(const struct clap_plugin* plugin);
  void (*reset)(const struct clap_plugin* plugin);
  clap_process_status (*process)(const struct clap_plugin* plugin, const struct clap_process* process);
  const void* (*get_extension)(const struct clap_plugin* plugin, const char* id);
  void (*on_main_thread)(const struct clap_plugin* plugin);
} clap_plugin_t;

// ---- Events -----------------------------------------------------------------------------------------------------

typedef struct clap_event_header {
  uint32_t size;
  uint32_t time;
  uint16_t space_id;
  uint16_t type;
  uint32_t flags;
} clap_event_header_t;

typedef struct clap_event_transport {
  clap_event_header_t header;
  uint32_t flags;
  clap_beattime song_pos_beats;
  clap_sectime song_pos_seconds;
  double tempo;
  double tempo_inc;
  clap_beattime loop_start_beats;
  clap_beattime loop_end_beats;
  clap_sectime loop_start_seconds;
  clap_sectime loop_end_seconds;
  clap_beattime bar_start;
  int32_t bar_number;
  uint16_t tsig_num;
  uint16_t tsig_denom;
} clap_event_transport_t;

typedef struct clap_event_note {
  clap_event_header_t header;
  int32_t note_id;
  int16_t port_index;
  int16_t channel;
  int16_t key;
  double velocity;
} clap_event_note_t;

typedef struct clap_event_midi {
  clap_event_header_t header;
  uint16_t port_index;
  uint8_t data[3];
} clap_event_midi_t;

typedef struct clap_event_midi_sysex {
  clap_event_header_t header;
  uint16_t port_index;
  const uint8_t* buffer;
  uint32_t size;
} clap_event_midi_sysex_t;

typedef struct clap_event_param_value {
  clap_event_header_t header;
  clap_id param_id;
  void* cookie;
  int32_t note_id;
  int16_t port_index;
  int16_t channel;
  int16_t key;
  double value;
} clap_event_param_value_t;

typedef struct clap_event_param_gesture {
  clap_event_header_t header;
  clap_id param_id;
} clap_event_param_gesture_t;

typedef struct clap_input_events {
  void* ctx;
  uint32_t (*size)(const struct clap_input_events* list);
  const clap_event_header_t* (*get)(const struct clap_input_events* list, uint32_t index);
} clap_input_events_t;

typedef struct clap_output_events {
  void* ctx;
  bool (*try_push)(const struct clap_output_events* list, const clap_event_header_t* event);
} clap_output_events_t;

// ---- Processing -------------------------------------------------------------------------------------------------

typedef struct clap_audio_buffer {
  float** data32;
  double** data64;
  uint32_t channel_count;
  uint32_t latency;
  uint64_t constant_mask;
} clap_audio_buffer_t;

typedef struct clap_process {
  int64_t steady_time;
  uint32_t frames_count;
  const clap_event_transport_t* transport;
  const clap_audio_buffer_t* audio_inputs;
  clap_audio_buffer_t* audio_outputs;
  uint32_t audio_inputs_count;
  uint32_t audio_outputs_count;
  const clap_input_events_t* in_events;
  const clap_output_events_t* out_events;
} clap_process_t;

// ---- Streams ------------------------------------------------------------------------------------------------------

typedef struct clap_istream {
  void* ctx;
  int64_t (*read)(const struct clap_istream* stream, void* buffer, uint64_t size);
} clap_istream_t;

typedef struct clap_ostream {
  void* ctx;
  int64_t (*write)(const struct clap_ostream* stream, const void* buffer, uint64_t size);
} clap_ostream_t;

// ---- Plug-in extensions ---------------------------------------------------------------------------------------------

typedef struct clap_param_info {
  clap_id id;
  clap_param_info_flags flags;
  void* cookie;
  char name[CLAP_NAME_SIZE];
  char module[CLAP_PATH_SIZE];
  double min_value;
  double max_value;
  double default_value;
} clap_param_info_t;

typedef struct clap_plugin_params {
  uint32_t (*count)(const clap_plugin_t* plugin);
  bool (*get_info)(const clap_plugin_t* plugin, uint32_t param_index, clap_param_info_t* param_info);
  bool (*get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);
  bool (*value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value, char* out_buffer,
                        uint32_t out_buffer_capacity);
  bool (*text_to_value)(const clap_plugin_t* plugin, clap_id param_id, const char* param_value_text,
                        double* out_value);
  void (*flush)(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out);
} clap_plugin_params_t;

typedef struct clap_plugin_state {
  bool (*save)(const clap_plugin_t* plugin, const clap_ostream_t* stream);
  bool (*load)(const clap_plugin_t* plugin, const clap_istream_t* stream);
} clap_plugin_state_t;

typedef struct clap_plugin_latency {
  uint32_t (*get)(const clap_plugin_t* plugin);
} clap_plugin_latency_t;

typedef struct clap_audio_port_info {
  clap_id id;
  char name[CLAP_NAME_SIZE];
  uint32_t flags;
  uint32_t channel_count;
  const char* port_type;
  clap_id in_place_pair;
} clap_audio_port_info_t;

typedef struct clap_plugin_audio_ports {
  uint32_t (*count)(const clap_plugin_t* plugin, bool is_input);
  bool (*get)(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_audio_port_info_t* info);
} clap_plugin_audio_ports_t;

typedef struct clap_audio_ports_config {
  clap_id id;
  char name[CLAP_NAME_SIZE];
  uint32_t input_port_count;
  uint32_t output_port_count;
  bool has_main_input;
  uint32_t main_input_channel_count;
  const char* main_input_port_type;
  bool has_main_output;
  uint32_t main_output_channel_count;
  const char* main_output_port_type;
} clap_audio_ports_config_t;

typedef struct clap_plugin_audio_ports_config {
  uint32_t (*count)(const clap_plugin_t* plugin);
  bool (*get)(const clap_plugin_t* plugin, uint32_t index, clap_audio_ports_config_t* config);
  bool (*select)(const clap_plugin_t* plugin, clap_id config_id);
} clap_plugin_audio_ports_config_t;

typedef struct clap_plugin_render {
  bool (*has_hard_realtime_requirement)(const clap_plugin_t* plugin);
  bool (*set)(const clap_plugin_t* plugin, clap_plugin_render_mode mode);
} clap_plugin_render_t;

typedef struct clap_plugin_tail {
  uint32_t (*get)(const clap_plugin_t* plugin);
} clap_plugin_tail_t;

typedef struct clap_window {
  const char* api;
  union {
    clap_nsview cocoa;
    clap_uiview uikit;
    clap_xwnd x11;
    clap_hwnd win32;
    void* ptr;
  };
} clap_window_t;

typedef struct clap_gui_resize_hints {
  bool can_resize_horizontally;
  bool can_resize_vertically;
  bool preserve_aspect_ratio;
  uint32_t aspect_ratio_width;
  uint32_t aspect_ratio_height;
} clap_gui_resize_hints_t;

typedef struct clap_plugin_gui {
  bool (*is_api_supported)(const clap_plugin_t* plugin, const char* api, bool is_floating);
  bool (*get_preferred_api)(const clap_plugin_t* plugin, const char** api, bool* is_floating);
  bool (*create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
  void (*destroy)(const clap_plugin_t* plugin);
  bool (*set_scale)(const clap_plugin_t* plugin, double scale);
  bool (*get_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
  bool (*can_resize)(const clap_plugin_t* plugin);
  bool (*get_resize_hints)(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
  bool (*adjust_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
  bool (*set_size)(const clap_plugin_t* plugin, uint32_t width, uint32_t height);
  bool (*set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
  bool (*set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
  void (*suggest_title)(const clap_plugin_t* plugin, const char* title);
  bool (*show)(const clap_plugin_t* plugin);
  bool (*hide)(const clap_plugin_t* plugin);
} clap_plugin_gui_t;

typedef struct clap_plugin_timer_support {
  void (*on_timer)(const clap_plugin_t* plugin, clap_id timer_id);
} clap_plugin_timer_support_t;

typedef struct clap_plugin_posix_fd_support {
  void (*on_fd)(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t flags);
} clap_plugin_posix_fd_support_t;

typedef struct clap_note_port_info {
  clap_id id;
  uint32_t supported_dialects;
  uint32_t preferred_dialect;
  char name[CLAP_NAME_SIZE];
} clap_note_port_info_t;

typedef struct clap_plugin_note_ports {
  uint32_t (*count)(const clap_plugin_t* plugin, bool is_input);
  bool (*get)(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_note_port_info_t* info);
} clap_plugin_note_ports_t;

// ---- Host extensions --------------------------------------------------------------------------------------------

typedef struct clap_host_params {
  void (*rescan)(const clap_host_t* host, clap_param_rescan_flags flags);
  void (*clear)(const clap_host_t* host, clap_id param_id, clap_param_clear_flags flags);
  void (*request_flush)(const clap_host_t* host);
} clap_host_params_t;

typedef struct clap_host_latency {
  void (*changed)(const clap_host_t* host);
} clap_host_latency_t;

typedef struct clap_host_tail {
  void (*changed)(const clap_host_t* host);
} clap_host_tail_t;

typedef struct clap_host_gui {
  void (*resize_hints_changed)(const clap_host_t* host);
  bool (*request_resize)(const clap_host_t* host, uint32_t width, uint32_t height);
  bool (*request_show)(const clap_host_t* host);
  bool (*request_hide)(const clap_host_t* host);
  void (*closed)(const clap_host_t* host, bool was_destroyed);
} clap_host_gui_t;

typedef struct clap_host_log {
  void (*log)(const clap_host_t* host, clap_log_severity severity, const char* msg);
} clap_host_log_t;

typedef struct clap_host_thread_check {
  bool (*is_main_thread)(const clap_host_t* host);
  bool (*is_audio_thread)(const clap_host_t* host);
} clap_host_thread_check_t;

typedef struct clap_color {
  uint8_t alpha;
  uint8_t red;
  uint8_t green;
  uint8_t blue;
} clap_color_t;

typedef struct clap_track_info {
  uint64_t flags;
  char name[CLAP_NAME_SIZE];
  clap_color_t color;
  int32_t audio_channel_count;
  const char* audio_port_type;
} clap_track_info_t;

typedef struct clap_host_track_info {
  bool (*get)(const clap_host_t* host, clap_track_info_t* info);
} clap_host_track_info_t;

typedef struct clap_host_timer_support {
  bool (*register_timer)(const clap_host_t* host, uint32_t period_ms, clap_id* timer_id);
  bool (*unregister_timer)(const clap_host_t* host, clap_id timer_id);
} clap_host_timer_support_t;

typedef struct clap_host_posix_fd_support {
  bool (*register_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
  bool (*modify_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
  bool (*unregister_fd)(const clap_host_t* host, int fd);
} clap_host_posix_fd_support_t;

}  // extern "C"

// ---- Layout checks (x86-64) ---------------------------------------------------------------------------------------

static_assert(sizeof(void*) == 8, "these declarations describe the 64-bit layout");
static_assert(sizeof(clap_version_t) == 12);
static_assert(sizeof(clap_plugin_entry_t) == 40 && offsetof(clap_plugin_entry_t, init) == 16 &&
              offsetof(clap_plugin_entry_t, get_factory) == 32);
static_assert(sizeof(clap_plugin_factory_t) == 24);
static_assert(sizeof(clap_plugin_descriptor_t) == 88 && offsetof(clap_plugin_descriptor_t, id) == 16 &&
              offsetof(clap_plugin_descriptor_t, features) == 80);
static_assert(sizeof(clap_host_t) == 88 && offsetof(clap_host_t, host_data) == 16 &&
              offsetof(clap_host_t, name) == 24 && offsetof(clap_host_t, version) == 48 &&
              offsetof(clap_host_t, get_extension) == 56 && offsetof(clap_host_t, request_callback) == 80);
static_assert(sizeof(clap_plugin_t) == 96 && offsetof(clap_plugin_t, plugin_data) == 8 &&
              offsetof(clap_plugin_t, init) == 16 && offsetof(clap_plugin_t, process) == 72 &&
              offsetof(clap_plugin_t, on_main_thread) == 88);
static_assert(sizeof(clap_event_header_t) == 16 && offsetof(clap_event_header_t, time) == 4 &&
              offsetof(clap_event_header_t, space_id) == 8 && offsetof(clap_event_header_t, type) == 10 &&
              offsetof(clap_event_header_t, flags) == 12);
static_assert(sizeof(clap_event_transport_t) == 104 && offsetof(clap_event_transport_t, flags) == 16 &&
              offsetof(clap_event_transport_t, song_pos_beats) == 24 &&
              offsetof(clap_event_transport_t, tempo) == 40 && offsetof(clap_event_transport_t, bar_start) == 88 &&
              offsetof(clap_event_transport_t, bar_number) == 96 &&
              offsetof(clap_event_transport_t, tsig_num) == 100 &&
              offsetof(clap_event_transport_t, tsig_denom) == 102);
static_assert(sizeof(clap_event_note_t) == 40 && offsetof(clap_event_note_t, note_id) == 16 &&
              offsetof(clap_event_note_t, port_index) == 20 && offsetof(clap_event_note_t, channel) == 22 &&
              offsetof(clap_event_note_t, key) == 24 && offsetof(clap_event_note_t, velocity) == 32);
static_assert(sizeof(clap_event_midi_t) == 24 && offsetof(clap_event_midi_t, port_index) == 16 &&
              offsetof(clap_event_midi_t, data) == 18);
static_assert(sizeof(clap_event_midi_sysex_t) == 40 && offsetof(clap_event_midi_sysex_t, buffer) == 24 &&
              offsetof(clap_event_midi_sysex_t, size) == 32);
static_assert(sizeof(clap_event_param_value_t) == 56 && offsetof(clap_event_param_value_t, param_id) == 16 &&
              offsetof(clap_event_param_value_t, cookie) == 24 &&
              offsetof(clap_event_param_value_t, note_id) == 32 &&
              offsetof(clap_event_param_value_t, port_index) == 36 &&
              offsetof(clap_event_param_value_t, channel) == 38 && offsetof(clap_event_param_value_t, key) == 40 &&
              offsetof(clap_event_param_value_t, value) == 48);
static_assert(sizeof(clap_event_param_gesture_t) == 20 && offsetof(clap_event_param_gesture_t, param_id) == 16);
static_assert(sizeof(clap_input_events_t) == 24 && sizeof(clap_output_events_t) == 16);
static_assert(sizeof(clap_audio_buffer_t) == 32 && offsetof(clap_audio_buffer_t, data64) == 8 &&
              offsetof(clap_audio_buffer_t, channel_count) == 16 && offsetof(clap_audio_buffer_t, latency) == 20 &&
              offsetof(clap_audio_buffer_t, constant_mask) == 24);
static_assert(sizeof(clap_process_t) == 64 && offsetof(clap_process_t, frames_count) == 8 &&
              offsetof(clap_process_t, transport) == 16 && offsetof(clap_process_t, audio_inputs) == 24 &&
              offsetof(clap_process_t, audio_outputs) == 32 && offsetof(clap_process_t, audio_inputs_count) == 40 &&
              offsetof(clap_process_t, audio_outputs_count) == 44 && offsetof(clap_process_t, in_events) == 48 &&
              offsetof(clap_process_t, out_events) == 56);
static_assert(sizeof(clap_istream_t) == 16 && sizeof(clap_ostream_t) == 16);
static_assert(sizeof(clap_param_info_t) == 1320 && offsetof(clap_param_info_t, flags) == 4 &&
              offsetof(clap_param_info_t, cookie) == 8 && offsetof(clap_param_info_t, name) == 16 &&
              offsetof(clap_param_info_t, module) == 272 && offsetof(clap_param_info_t, min_value) == 1296 &&
              offsetof(clap_param_info_t, default_value) == 1312);
static_assert(sizeof(clap_plugin_params_t) == 48 && sizeof(clap_plugin_state_t) == 16);
static_assert(sizeof(clap_audio_port_info_t) == 288 && offsetof(clap_audio_port_info_t, name) == 4 &&
              offsetof(clap_audio_port_info_t, flags) == 260 &&
              offsetof(clap_audio_port_info_t, channel_count) == 264 &&
              offsetof(clap_audio_port_info_t, port_type) == 272 &&
              offsetof(clap_audio_port_info_t, in_place_pair) == 280);
static_assert(sizeof(clap_audio_ports_config_t) == 304 &&
              offsetof(clap_audio_ports_config_t, input_port_count) == 260 &&
              offsetof(clap_audio_ports_config_t, output_port_count) == 264 &&
              offsetof(clap_audio_ports_config_t, has_main_input) == 268 &&
              offsetof(clap_audio_ports_config_t, main_input_channel_count) == 272 &&
              offsetof(clap_audio_ports_config_t, main_input_port_type) == 280 &&
              offsetof(clap_audio_ports_config_t, has_main_output) == 288 &&
              offsetof(clap_audio_ports_config_t, main_output_channel_count) == 292 &&
              offsetof(clap_audio_ports_config_t, main_output_port_type) == 296);
static_assert(sizeof(clap_plugin_audio_ports_config_t) == 24 && sizeof(clap_plugin_render_t) == 16);
static_assert(sizeof(clap_window_t) == 16 && offsetof(clap_window_t, x11) == 8);
static_assert(sizeof(clap_gui_resize_hints_t) == 12 &&
              offsetof(clap_gui_resize_hints_t, aspect_ratio_width) == 4);
static_assert(sizeof(clap_plugin_gui_t) == 15 * 8);
static_assert(sizeof(clap_host_gui_t) == 40 && sizeof(clap_host_params_t) == 24);
static_assert(sizeof(clap_track_info_t) == 280 && offsetof(clap_track_info_t, name) == 8 &&
              offsetof(clap_track_info_t, color) == 264 &&
              offsetof(clap_track_info_t, audio_channel_count) == 268 &&
              offsetof(clap_track_info_t, audio_port_type) == 272);
static_assert(sizeof(clap_note_port_info_t) == 268 && offsetof(clap_note_port_info_t, name) == 12);
static_assert(sizeof(clap_host_timer_support_t) == 16 && sizeof(clap_host_posix_fd_support_t) == 24);
