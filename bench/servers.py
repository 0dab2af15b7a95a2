"""The servers the benchmark downloads from: nginx for HTTP (a plain folder and
a throttled one), nginx for HTTPS, and vsftpd for FTP, each on a free
loopback port, each started here and stopped by its own process id."""

import os
import socket
import subprocess
import time


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, process, log):
    for _ in range(200):
        if process.poll() is not None:
            break
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"server on port {port} did not start; see {log}")


class Server:
    """A server process of our own: stopped by its id, never by name."""

    def __init__(self, command, port, log):
        self.port = port
        self._log = open(log, "wb")
        self._process = subprocess.Popen(command, stdout=self._log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        wait_for_port(port, self._process, log)

    def stop(self):
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._log.close()


def start_nginx(work, root, rate, tls=None):
    """Serves `root` with sendfile and tcp_nopush, as Debian configures nginx;
    /slow/ is limited to `rate` per connection (nginx's limit_rate, as a
    throttling server does it). With tls (a Certificates), over TLS 1.2 and
    1.3 with AES-128-GCM only, from a folder of its own."""
    port = free_port()
    conf_dir = os.path.join(work, "nginx-tls" if tls else "nginx")
    os.makedirs(os.path.join(conf_dir, "tmp"), exist_ok=True)
    temp = os.path.join(conf_dir, "tmp")
    conf = os.path.join(conf_dir, "nginx.conf")
    secure = ""
    if tls:
        secure = (f"    ssl_certificate {tls.certificate};\n    ssl_certificate_key {tls.key};\n"
                  "    ssl_protocols TLSv1.2 TLSv1.3;\n    ssl_ciphers ECDHE+AES128+AESGCM;\n"
                  "    ssl_conf_command Ciphersuites TLS_AES_128_GCM_SHA256;\n")
    with open(conf, "w") as out:
        out.write(f"""worker_processes 2;
master_process off;
daemon off;
pid {conf_dir}/nginx.pid;
error_log {conf_dir}/error.log;
events {{ worker_connections 256; }}
http {{
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path {temp};
  proxy_temp_path {temp};
  fastcgi_temp_path {temp};
  uwsgi_temp_path {temp};
  scgi_temp_path {temp};
  server {{
    listen 127.0.0.1:{port}{" ssl" if tls else ""};
{secure}    root {root};
    location /slow/ {{ limit_rate {rate}; }}
  }}
}}
""")
    return Server(["/usr/sbin/nginx", "-p", conf_dir, "-c", conf], port, os.path.join(conf_dir, "nginx.out"))


class Certificates:
    """A CA of the benchmark's own and a server certificate it signed for
    127.0.0.1, made with the openssl tool in `work`."""

    def __init__(self, work):
        folder = os.path.join(work, "tls")
        os.makedirs(folder, exist_ok=True)
        self.ca = os.path.join(folder, "ca.pem")
        self.certificate = os.path.join(folder, "server.pem")
        self.key = os.path.join(folder, "server.key")
        new_key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"]
        with open(os.path.join(folder, "server.ext"), "w") as ext:
            ext.write("subjectAltName=IP:127.0.0.1\n")
        for command in (
                ["req", "-x509", *new_key, "-days", "2", "-subj", "/CN=Kestrion Bench CA", "-keyout", "ca.key",
                 "-out", "ca.pem"],
                ["req", *new_key, "-subj", "/CN=127.0.0.1", "-keyout", "server.key", "-out", "server.csr"],
                ["x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                 "-days", "2", "-extfile", "server.ext", "-out", "server.pem"]):
            subprocess.run(["openssl", *command], cwd=folder, check=True, capture_output=True)


def start_vsftpd(work, root):
    """Anonymous vsftpd serving `root`, active and passive mode. It runs as the
    launching user and keeps the real root: a login starts in the served
    folder."""
    port = free_port()
    empty = os.path.join(work, "vsftpd-empty")
    os.makedirs(empty, exist_ok=True)
    conf = os.path.join(work, "vsftpd.conf")
    with open(conf, "w") as out:
        out.write(f"""listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port={port}
background=NO
seccomp_sandbox=NO
run_as_launching_user=YES
connect_from_port_20=NO
port_enable=YES
pasv_enable=YES
pasv_address=127.0.0.1
anonymous_enable=YES
local_enable=NO
write_enable=NO
anon_root={root}
secure_chroot_dir={empty}
max_clients=0
max_per_ip=0
xferlog_enable=NO
""")
    return Server(["/usr/sbin/vsftpd", conf], port, os.path.join(work, "vsftpd.out"))
