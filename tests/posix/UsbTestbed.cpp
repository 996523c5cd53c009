// A program beneath the real libftdi1 and libusb, with FTDI adapters emulated at the kernel's USB
// device interface by umockdev: their sysfs attributes and descriptors, and the usbdevfs ioctls
// (claims, the ftdi_sio driver, URBs submitted, reaped and discarded) answered by the FT232H
// model, with the simulated board on its pins. The program runs under umockdev's preload.
//     usb-testbed SCENE RECORD CONTROL -- PROGRAM ARGUMENTS...
// SCENE is the model's (support/Ft232hModel.h); the adapters sit at usb:1-2, usb:1-3.4 (behind a
// hub at 1-3), usb:1-5 and on. At the end RECORD gets each adapter's record, and the board's
// protocol violations. CONTROL is "-" or a socket's descriptor: "plug" on it plugs a pulled-out
// adapter in again and answers "plugged". Exits with the program's code.
#include <fmt/format.h>
#include <glib-unix.h>
#include <linux/capability.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <deque>
#include <fstream>
#include <memory>

#include "support/Ft232hModel.h"

namespace {

using vx::test::Chip;
constexpr std::uint8_t kModemStatus[] = {0x32, 0x60};  // each bulk IN packet's first two bytes

struct Adapter;

// One plug-in of an adapter: its device node, and the URBs its clients have in flight.
struct Plug {
  Adapter* adapter;
  bool gone = false;
  std::deque<UMockdevIoctlData*> reading, done;
};

struct Adapter {
  explicit Adapter(vx::test::Ft232hModel m) : model(std::move(m)) {}
  vx::test::Ft232hModel model;
  std::string path, location;
  std::string driver;  // interface 0's: "ftdi_sio", "usbfs" (claimed) or "" (none)
  std::shared_ptr<Plug> plug;
};

struct Testbed {
  UMockdevTestbed* bed = umockdev_testbed_new();
  std::deque<Adapter> adapters;
  int devices = 1;  // device numbers given out on bus 1
  GPid child = 0;
  int status = 0;
  GMainLoop* loop = g_main_loop_new(nullptr, false);
} testbed;

// Device and configuration descriptors: one interface a channel, with a bulk IN and OUT endpoint.
std::string descriptors(const vx::test::Adapter& a) {
  const bool two = a.chip != Chip::Ft232h, high = a.chip != Chip::Ft2232d;
  std::string d = fmt::format("12010002000000400304{}60000{}0102{:02X}010902{:02X}00{:02X}0100802D",
                              two ? "10" : "14",
                              a.chip == Chip::Ft232h ? 9
                              : high                 ? 7
                                                     : 5,
                              a.serial.empty() ? 0 : 3, two ? 55 : 32, two ? 2 : 1);
  for (int i = 0; i < (two ? 2 : 1); ++i)
    d += fmt::format("0904{:02X}0002FFFFFF0207058{}02{}0007050{}02{}00", i, 1 + 2 * i,
                     high ? "0002" : "4000", 2 + 2 * i, high ? "0002" : "4000");
  return d;
}

// The device in sysfs, and its node, in the form umockdev-record writes.
std::string plugIn(const std::string& path, const std::string& descriptors) {
  const int n = ++testbed.devices;
  const std::string node = fmt::format("bus/usb/001/{:03}", n);
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(
          testbed.bed,
          fmt::format("P: /devices/usb1/{}\nN: {}\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
                      "E: DEVNAME=/dev/{}\nE: BUSNUM=001\nE: DEVNUM={:03}\nA: busnum=1\\n\n"
                      "A: devnum={}\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\n"
                      "H: descriptors={}\n",
                      path, node, node, n, n, descriptors)
              .c_str(),
          &error))
    g_error("%s", error->message);
  return "/dev/" + node;
}

// A control transfer's data follows its 8-byte setup packet.
void complete(Plug& plug, UMockdevIoctlData* urbData, int status,
              std::span<const std::uint8_t> in) {
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  std::ranges::copy(in, static_cast<std::uint8_t*>(urb->buffer) +
                            (urb->type == USBDEVFS_URB_TYPE_CONTROL ? 8 : 0));
  urb->status = status;
  urb->actual_length = static_cast<int>(in.size());
  plug.done.push_back(urbData);
}

// Pulled out: what was in flight finishes with -ESHUTDOWN, and the device leaves sysfs.
void unplug(Plug& plug) {
  plug.gone = true;
  for (UMockdevIoctlData* urb : plug.reading) complete(plug, urb, -ESHUTDOWN, {});
  plug.reading.clear();
  umockdev_testbed_remove_device(testbed.bed, ("/sys/devices/usb1/" + plug.adapter->path).c_str());
}

// The reads the chip answers now, a packet each, behind its two modem status bytes.
void answer(Plug& plug) {
  vx::test::Ft232hModel& model = plug.adapter->model;
  while (!plug.reading.empty() && !plug.gone && model.answering()) {
    UMockdevIoctlData* urb = plug.reading.front();
    plug.reading.pop_front();
    std::vector<std::uint8_t> packet;
    const std::size_t room = (plug.adapter->model.adapter.chip == Chip::Ft2232d ? 64 : 512) - 2;
    if (!model.read(packet, room)) {
      plug.reading.push_front(urb);
      return unplug(plug);
    }
    packet.insert(packet.begin(), std::begin(kModemStatus), std::end(kModemStatus));
    complete(plug, urb, 0, packet);
  }
}

// A control transfer: the FTDI vendor requests go to the model; the serial number's string.
std::vector<std::uint8_t> control(Adapter& a, std::uint8_t* setup) {
  const int value = setup[2] | setup[3] << 8, length = setup[6] | setup[7] << 8;
  if (setup[0] == 0x40) a.model.control(setup[1], static_cast<std::uint16_t>(value));
  if (setup[0] != 0x80 || setup[1] != 6 || value >> 8 != 3) return {};
  std::vector<std::uint8_t> s{4, 3, 0x09, 0x04};  // index 0: the languages, US English
  if ((value & 0xFF) != 0) {
    s = {static_cast<std::uint8_t>(2 + 2 * a.model.adapter.serial.size()), 3};
    for (const char c : a.model.adapter.serial)
      s.insert(s.end(), {static_cast<std::uint8_t>(c), 0});
  }
  s.resize(std::min<std::size_t>(s.size(), length));
  return s;
}

int submit(Plug& plug, UMockdevIoctlData* data) {
  auto* urb = reinterpret_cast<usbdevfs_urb*>(data->data);
  GError* error = nullptr;
  umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer), urb->buffer_length, &error);
  auto* buffer = static_cast<std::uint8_t*>(urb->buffer);
  g_object_ref(data);
  if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
    complete(plug, data, 0, control(*plug.adapter, buffer));
  } else if (urb->endpoint & 0x80) {
    plug.reading.push_back(data);
  } else if (plug.adapter->model.write({buffer, static_cast<std::size_t>(urb->buffer_length)})) {
    urb->actual_length = urb->buffer_length;
    plug.done.push_back(data);
  } else {
    g_object_unref(data);
    unplug(plug);
    return ENODEV;
  }
  answer(plug);
  return 0;
}

// A reap with nothing finished waits the chip's latency (1 ms) before EAGAIN, as poll() would
// have waited: the client does not spin.
gboolean later(gpointer client) {
  umockdev_ioctl_client_complete(static_cast<UMockdevIoctlClient*>(client), -1, EAGAIN);
  g_object_unref(client);
  return G_SOURCE_REMOVE;
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user) {
  Plug& plug = *static_cast<Plug*>(user);
  Adapter& a = *plug.adapter;
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  GError* error = nullptr;
  UMockdevIoctlData* data =
      _IOC_SIZE(request) ? umockdev_ioctl_data_resolve(arg, 0, _IOC_SIZE(request), &error) : arg;
  int result = 0;
  const bool reap = request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB;
  if (reap && !plug.done.empty()) {
    umockdev_ioctl_data_set_ptr(data, 0, plug.done.front());
    g_object_unref(plug.done.front());
    plug.done.pop_front();
  } else if (reap && !plug.gone) {
    g_timeout_add(1, later, g_object_ref(client));
    return true;
  } else if (plug.gone) {
    result = ENODEV;
  } else if (request == USBDEVFS_GET_CAPABILITIES) {
    *reinterpret_cast<std::uint32_t*>(data->data) =
        USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
        USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
  } else if (request == USBDEVFS_GETDRIVER) {
    auto* d = reinterpret_cast<usbdevfs_getdriver*>(data->data);
    result = d->interface != 0 || a.driver.empty() ? ENODATA : 0;
    if (result == 0) std::snprintf(d->driver, sizeof d->driver, "%s", a.driver.c_str());
  } else if (request == USBDEVFS_IOCTL) {  // the serial driver let go of, or given back
    const bool connect =
        reinterpret_cast<usbdevfs_ioctl*>(data->data)->ioctl_code == USBDEVFS_CONNECT;
    result = connect == a.driver.empty() ? 0 : connect ? EBUSY : ENODATA;
    if (result == 0) a.driver = connect ? "ftdi_sio" : "";
    if (result == 0)
      a.model.record.push_back(connect ? "usb ftdi_sio attached" : "usb ftdi_sio detached");
  } else if (request == USBDEVFS_CLAIMINTERFACE || request == USBDEVFS_DISCONNECT_CLAIM) {
    const bool detach = request == USBDEVFS_DISCONNECT_CLAIM && a.driver == "ftdi_sio";
    result = a.driver == "usbfs" || (a.driver == "ftdi_sio" && !detach) ? EBUSY : 0;
    if (detach && result == 0) a.model.record.push_back("usb ftdi_sio detached");
    if (result == 0) a.driver = "usbfs";
  } else if (request == USBDEVFS_RELEASEINTERFACE) {
    a.driver = "";
  } else if (request == USBDEVFS_SUBMITURB) {
    result = submit(plug, data);
  } else if (request == USBDEVFS_DISCARDURB) {  // the argument is the URB's own address
    const auto found = std::ranges::find(plug.reading, *reinterpret_cast<gulong*>(arg->data),
                                         [](UMockdevIoctlData* u) { return u->client_addr; });
    result = found == plug.reading.end() ? EINVAL : 0;
    if (result == 0) complete(plug, *found, -ENOENT, {}), plug.reading.erase(found);
    if (result == 0) a.model.record.push_back("usb read: nothing came in time");
  } else {
    result = ENOTTY;
  }
  umockdev_ioctl_client_complete(client, result ? -1 : 0, result);
  return true;
}

// Plugged in: the kernel gives it to ftdi_sio, unless another program holds it.
void attach(Adapter& a, const std::string& node) {
  a.plug = std::make_shared<Plug>();
  a.plug->adapter = &a;
  a.driver = a.model.adapter.busy ? "usbfs" : "ftdi_sio";
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), a.plug.get());
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(testbed.bed, node.c_str(), handler, &error))
    g_error("%s", error->message);
  if (a.model.adapter.denied) chmod((umockdev_testbed_get_root_dir(testbed.bed) + node).c_str(), 0);
}

gboolean onControl(gint fd, GIOCondition, gpointer) {
  char line[16] = {};
  if (read(fd, line, sizeof line - 1) <= 0) return G_SOURCE_REMOVE;
  for (Adapter& a : testbed.adapters)
    if (a.plug->gone) a.model.plugIn(), attach(a, plugIn(a.path, descriptors(a.model.adapter)));
  return write(fd, "plugged\n", 8) == 8;
}

// Where the program runs as root: without the powers that would open a node it may not.
void childSetup(gpointer) {
  if (getuid() == 0)
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
      prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  int port = 1;
  for (const vx::test::Adapter& a : vx::test::parseScene(argv[1])) {
    const bool hub = ++port == 3;
    if (hub)  // a hub, its one interface's interrupt endpoint
      plugIn("1-3",
             "1201000209000140"
             "6B1D02000001"
             "00000001"
             "0902190001010"
             "0E000"
             "090400000109000000"
             "07058103020"
             "00C");
    Adapter& added = testbed.adapters.emplace_back(vx::test::Ft232hModel(a));
    added.path = hub ? "1-3/1-3.4" : fmt::format("1-{}", port);
    added.location = hub ? "usb:1-3.4" : fmt::format("usb:1-{}", port);
    attach(added, plugIn(added.path, descriptors(a)));
  }
  if (std::string(argv[3]) != "-") g_unix_fd_add(std::stoi(argv[3]), G_IO_IN, onControl, nullptr);
  g_setenv("LD_PRELOAD", "libumockdev-preload.so.0", true);
  // The preload comes before an ASan runtime that the program links.
  g_setenv("ASAN_OPTIONS",
           (std::string(g_getenv("ASAN_OPTIONS") ? g_getenv("ASAN_OPTIONS") : "") +
            ":verify_asan_link_order=0")
               .c_str(),
           true);
  GError* error = nullptr;
  if (!g_spawn_async(nullptr, argv + 5, nullptr,
                     GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_CHILD_INHERITS_STDIN |
                                 G_SPAWN_SEARCH_PATH),
                     childSetup, nullptr, &testbed.child, &error))
    g_error("%s", error->message);
  g_child_watch_add(
      testbed.child,
      [](GPid, gint status, gpointer) {
        testbed.status = status;
        g_main_loop_quit(testbed.loop);
      },
      nullptr);
  g_unix_signal_add(
      SIGTERM,
      [](gpointer) {
        kill(testbed.child, SIGTERM);
        return gboolean(G_SOURCE_CONTINUE);
      },
      nullptr);
  g_main_loop_run(testbed.loop);
  std::ofstream record(argv[2]);
  for (const Adapter& a : testbed.adapters) {
    if (a.model.record.empty()) continue;
    record << "adapter " << a.location << '\n';
    for (const std::string& line : a.model.record) record << line << '\n';
    for (const std::string& v : a.model.board.violations()) record << "board: " << v << '\n';
  }
  record.close();
  g_object_unref(testbed.bed);  // removes its folder
  // Not through exit(): the GLib objects left are no leak of the program under test.
  _exit(WIFEXITED(testbed.status) ? WEXITSTATUS(testbed.status) : 128 + WTERMSIG(testbed.status));
}
