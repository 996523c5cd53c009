// A program beneath the real libftdi1 and libusb, with FTDI adapters emulated at the kernel's USB
// device interface by umockdev: their sysfs attributes and descriptors, and the usbdevfs ioctls
// (claims, the ftdi_sio driver, URBs submitted, reaped and discarded) answered by the FT232H
// model, with the simulated board on its pins. The program runs under umockdev's preload.
//     usb-testbed SCENE RECORD CONTROL -- PROGRAM ARGUMENTS...
// SCENE is the model's (support/Ft232hModel.h); the adapters sit at usb:1-2, usb:1-3.4 (behind a
// hub at 1-3), usb:1-4 and on. At the end RECORD gets each adapter's record, and the board's
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

#include "support/Ft232hModel.h"

namespace {

struct Testbed;

// An adapter on the bus, and the URBs its client has in flight.
struct Adapter {
  Testbed& testbed;
  vx::test::Ft232hModel model;
  std::string path;    // in sysfs: at usb:1-3.4 for "1-3/1-3.4"
  std::string driver;  // interface 0's: "ftdi_sio", "usbfs" (claimed) or "" (none)
  bool gone = false;
  std::deque<UMockdevIoctlData*> reading, done;
};

struct Testbed {
  UMockdevTestbed* bed = umockdev_testbed_new();
  std::deque<Adapter> adapters;
  int devices = 1;  // device numbers given out on bus 1
  GPid child = 0, status = 0;
  GMainLoop* loop = g_main_loop_new(nullptr, false);
  GError* error = nullptr;  // what a GLib call that must succeed said
};

// Device and configuration descriptors: one interface a channel, with a bulk IN and OUT endpoint.
std::string descriptors(const vx::test::Adapter& a) {
  const bool two = a.chip.channels == 2, high = a.chip.highSpeed;
  std::string d = fmt::format(
      "12010002000000400304{:02X}60000{}0102{:02X}010902{:02X}00{:02X}0100802D",
      a.chip.product & 0xFF, a.chip.bcd, a.serial.empty() ? 0 : 3, two ? 55 : 32, two + 1);
  for (int i = 0; i <= two; ++i)
    d += fmt::format("0904{:02X}0002FFFFFF0207058{}02{}0007050{}02{}00", i, 1 + 2 * i,
                     high ? "0002" : "4000", 2 + 2 * i, high ? "0002" : "4000");
  return d;
}

// The device in sysfs, and its node, in the form umockdev-record writes.
std::string plugIn(Testbed& t, const std::string& path, const std::string& descriptors) {
  const int n = ++t.devices;
  const std::string node = fmt::format("bus/usb/001/{:03}", n);
  const std::string sysfs = fmt::format(
      "P: /devices/usb1/{}\nN: {}\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/{}\n"
      "E: BUSNUM=001\nE: DEVNUM={:03}\nA: busnum=1\\n\nA: devnum={}\\n\nA: speed=480\\n\n"
      "A: bConfigurationValue=1\\n\nH: descriptors={}\n",
      path, node, node, n, n, descriptors);
  if (!umockdev_testbed_add_from_string(t.bed, sysfs.c_str(), &t.error))
    g_error("%s", t.error->message);
  return "/dev/" + node;
}

// A control transfer's data follows its 8-byte setup packet.
void complete(Adapter& a, UMockdevIoctlData* urbData, int status,
              std::span<const std::uint8_t> in) {
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  const int setup = urb->type == USBDEVFS_URB_TYPE_CONTROL ? 8 : 0;
  std::ranges::copy(in, static_cast<std::uint8_t*>(urb->buffer) + setup);
  urb->status = status;
  urb->actual_length = static_cast<int>(in.size());
  a.done.push_back(urbData);
}

// Pulled out: what was in flight finishes with -ESHUTDOWN, and the device leaves sysfs.
void unplug(Adapter& a) {
  a.gone = true;
  for (UMockdevIoctlData* urb : a.reading) complete(a, urb, -ESHUTDOWN, {});
  a.reading.clear();
  umockdev_testbed_remove_device(a.testbed.bed, ("/sys/devices/usb1/" + a.path).c_str());
}

// The reads the chip answers now, a packet each, behind its two modem status bytes.
void answer(Adapter& a) {
  const std::size_t room = a.model.adapter.chip.highSpeed ? 510 : 62;
  while (!a.reading.empty() && !a.gone && a.model.answering()) {
    std::vector<std::uint8_t> packet;
    if (!a.model.read(packet, room)) return unplug(a);
    packet.insert(packet.begin(), {0x32, 0x60});
    complete(a, a.reading.front(), 0, packet);
    a.reading.pop_front();
  }
}

// A control transfer: the FTDI vendor requests go to the model; the serial number's string.
std::vector<std::uint8_t> control(Adapter& a, std::uint8_t* setup) {
  const int value = setup[2] | setup[3] << 8, length = setup[6] | setup[7] << 8;
  if (setup[0] == 0x40) a.model.control(setup[1], static_cast<std::uint16_t>(value));
  if (setup[0] != 0x80 || setup[1] != 6 || value >> 8 != 3) return {};
  std::vector<std::uint8_t> s{4, 3, 0x09, 0x04};  // index 0: the languages, US English
  if ((value & 0xFF) != 0)
    s = {static_cast<std::uint8_t>(2 + 2 * a.model.adapter.serial.size()), 3};
  for (const char c : (value & 0xFF) != 0 ? a.model.adapter.serial : "")
    s.insert(s.end(), {static_cast<std::uint8_t>(c), 0});
  s.resize(std::min<std::size_t>(s.size(), length));
  return s;
}

int submit(Adapter& a, UMockdevIoctlData* data) {
  auto* urb = reinterpret_cast<usbdevfs_urb*>(data->data);
  umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer), urb->buffer_length, nullptr);
  auto* buffer = static_cast<std::uint8_t*>(urb->buffer);
  const bool in = (urb->endpoint & 0x80) != 0, bulk = urb->type != USBDEVFS_URB_TYPE_CONTROL;
  if (bulk && !in && !a.model.write({buffer, static_cast<std::size_t>(urb->buffer_length)}))
    return unplug(a), ENODEV;
  g_object_ref(data);
  if (!bulk) complete(a, data, 0, control(a, buffer));
  if (bulk && in) a.reading.push_back(data);
  if (bulk && !in) urb->actual_length = urb->buffer_length, a.done.push_back(data);
  answer(a);
  return 0;
}

// A reap with nothing finished waits the chip's latency (1 ms) before EAGAIN, as poll() would
// have waited: the client does not spin.
gboolean later(gpointer client) {
  umockdev_ioctl_client_complete(static_cast<UMockdevIoctlClient*>(client), -1, EAGAIN);
  g_object_unref(client);
  return G_SOURCE_REMOVE;
}

// The serial driver let go of and given back (USBDEVFS_IOCTL), and the claims: a claim that
// disconnects lets ftdi_sio go first; another program's claim holds. Any other request is unknown.
int driver(Adapter& a, unsigned long request, void* data) {
  const bool sio = a.driver == "ftdi_sio";
  if (request == USBDEVFS_GETDRIVER) {
    auto* d = static_cast<usbdevfs_getdriver*>(data);
    std::snprintf(d->driver, sizeof d->driver, "%s", a.driver.c_str());
    return d->interface != 0 || a.driver.empty() ? ENODATA : 0;
  }
  if (request == USBDEVFS_RELEASEINTERFACE) return a.driver = "", 0;
  if (request == USBDEVFS_IOCTL) {
    const bool connect = static_cast<usbdevfs_ioctl*>(data)->ioctl_code == USBDEVFS_CONNECT;
    if (connect ? !a.driver.empty() : !sio) return a.driver.empty() ? ENODATA : EBUSY;
    a.driver = connect ? "ftdi_sio" : "";
    return a.model.record.push_back(connect ? "usb ftdi_sio attached" : "usb ftdi_sio detached"), 0;
  }
  if (request != USBDEVFS_CLAIMINTERFACE && request != USBDEVFS_DISCONNECT_CLAIM) return ENOTTY;
  if (!a.driver.empty() && !(sio && request == USBDEVFS_DISCONNECT_CLAIM)) return EBUSY;
  if (sio) a.model.record.push_back("usb ftdi_sio detached");
  return a.driver = "usbfs", 0;
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer adapter) {
  Adapter& a = *static_cast<Adapter*>(adapter);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  UMockdevIoctlData* data =
      _IOC_SIZE(request) ? umockdev_ioctl_data_resolve(arg, 0, _IOC_SIZE(request), nullptr) : arg;
  const bool reap = request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB;
  if (reap && a.done.empty() && !a.gone) return g_timeout_add(1, later, g_object_ref(client)), true;
  int result = 0;
  if (reap && !a.done.empty()) {
    umockdev_ioctl_data_set_ptr(data, 0, a.done.front());
    g_object_unref(a.done.front());
    a.done.pop_front();
  } else if (a.gone) {
    result = ENODEV;
  } else if (request == USBDEVFS_GET_CAPABILITIES) {
    *reinterpret_cast<std::uint32_t*>(data->data) =
        USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
        USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
  } else if (request == USBDEVFS_SUBMITURB) {
    result = submit(a, data);
  } else if (request == USBDEVFS_DISCARDURB) {  // the argument is the URB's own address
    const auto found = std::ranges::find(a.reading, *reinterpret_cast<gulong*>(arg->data),
                                         [](UMockdevIoctlData* u) { return u->client_addr; });
    result = found == a.reading.end() ? EINVAL : 0;
    if (result == 0) complete(a, *found, -ENOENT, {}), a.reading.erase(found);
    if (result == 0) a.model.record.push_back("usb read: nothing came in time");
  } else {
    result = driver(a, request, data->data);
  }
  umockdev_ioctl_client_complete(client, result ? -1 : 0, result);
  return true;
}

// Plugged in: the kernel gives it to ftdi_sio, unless another program holds it.
void attach(Adapter& a) {
  const std::string node = plugIn(a.testbed, a.path, descriptors(a.model.adapter));
  a.gone = false;
  a.driver = a.model.adapter.busy ? "usbfs" : "ftdi_sio";
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), &a);
  if (!umockdev_testbed_attach_ioctl(a.testbed.bed, node.c_str(), handler, &a.testbed.error))
    g_error("%s", a.testbed.error->message);
  if (a.model.adapter.denied)
    chmod((umockdev_testbed_get_root_dir(a.testbed.bed) + node).c_str(), 0);
}

gboolean onControl(gint fd, GIOCondition, gpointer testbed) {
  char line[16] = {};
  if (read(fd, line, sizeof line - 1) <= 0) return G_SOURCE_REMOVE;
  for (Adapter& a : static_cast<Testbed*>(testbed)->adapters)
    if (a.gone) a.model.plugIn(), attach(a);
  return write(fd, "plugged\n", 8) == 8;
}

gboolean onTerm(gpointer testbed) {
  return kill(static_cast<Testbed*>(testbed)->child, SIGTERM), G_SOURCE_CONTINUE;
}

void onExit(GPid, gint status, gpointer testbed) {
  static_cast<Testbed*>(testbed)->status = status;
  g_main_loop_quit(static_cast<Testbed*>(testbed)->loop);
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
  Testbed t;
  for (const vx::test::Adapter& a : vx::test::parseScene(argv[1])) {
    const int port = static_cast<int>(t.adapters.size()) + 2;
    if (port == 3)  // a hub: its device and configuration, its one interface's interrupt endpoint
      plugIn(t, "1-3",
             "12010002090001406B1D020000010000000109021900010100E000"
             "0904000001090000000705810302000C");
    attach(t.adapters.emplace_back(t, vx::test::Ft232hModel(a),
                                   port == 3 ? "1-3/1-3.4" : fmt::format("1-{}", port)));
  }
  if (std::string(argv[3]) != "-") g_unix_fd_add(std::stoi(argv[3]), G_IO_IN, onControl, &t);
  g_setenv("LD_PRELOAD", "libumockdev-preload.so.0", true);
  // The preload comes before an ASan runtime that the program links.
  const char* asan = g_getenv("ASAN_OPTIONS");
  g_setenv("ASAN_OPTIONS", fmt::format("{}:verify_asan_link_order=0", asan ? asan : "").c_str(),
           true);
  const auto flags = G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_CHILD_INHERITS_STDIN | G_SPAWN_SEARCH_PATH;
  if (!g_spawn_async(nullptr, argv + 5, nullptr, GSpawnFlags(flags), childSetup, nullptr, &t.child,
                     &t.error))
    g_error("%s", t.error->message);
  g_child_watch_add(t.child, onExit, &t);
  g_unix_signal_add(SIGTERM, onTerm, &t);
  g_main_loop_run(t.loop);
  std::ofstream record(argv[2]);
  for (const Adapter& a : t.adapters) {
    if (!a.model.record.empty())
      record << "adapter usb:" << a.path.substr(a.path.rfind('/') + 1) << '\n';
    for (const std::string& line : a.model.record) record << line << '\n';
    for (const std::string& v : a.model.board.violations()) record << "board: " << v << '\n';
  }
  record.close();
  g_object_unref(t.bed);  // removes its folder
  // Not through exit(): the GLib objects left are no leak of the program under test.
  _exit(WIFEXITED(t.status) ? WEXITSTATUS(t.status) : 128 + WTERMSIG(t.status));
}
