#!/usr/bin/python3
"""The drivers' page (quil-web) in a real browser: headless Chromium driven by Debian's
chromium-driver and python3-selenium, at a phone's size, against a data set of its own on the
throwaway PostgreSQL cluster of the test fixture and a quil-web on a loopback port.

Everything it needs is started here and stopped afterwards, also when a test fails. Nothing
is skipped: a missing browser, driver, program or cluster fails the run.

Environment: QUIL_TEST_PG_STATE (the cluster's state file), QUIL_WEB and QUIL_TOOL (the
programs), QUIL_SAMPLE_DATA (scripts/sample-data.py). QUIL_WEB_SCREENSHOTS=FOLDER also
writes the pages' pictures for the README and the manual (scripts/screenshots-web.sh).
"""
import ctypes
import datetime
import html.parser
import os
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

PHONE = (390, 844)
FIRST_PASSWORD = "first-password-1"
SQL_INJECTION = "'); DROP TABLE quil_records; --"
HTML_INJECTION = "<script>alert(1)</script>"
# The sample data set's items (scripts/sample-data.py): positions in quil_items.
VEHICLE = 0          # 営業車１号
DRIVER_TARO = 2      # 山田太郎
DRIVER_HANAKO = 3    # 佐藤花子
# The office reads as the 事務 group role, as each of its accounts does (the row security
# treats them alike), without an account of its own in the shared cluster.
PURPOSE = 4          # 配達


def env_path(name):
    value = os.environ.get(name, "")
    if not value or not os.path.exists(value):
        raise RuntimeError(f"{name} does not name an existing file: {value!r}")
    return value


def find_program(name, *fallbacks):
    found = shutil.which(name) or next((p for p in fallbacks if os.access(p, os.X_OK)), None)
    if not found:
        raise RuntimeError(f"{name} is missing (scripts/setup.sh test installs it)")
    return found


def die_with_parent():
    # quil-web ends with this test even when the test itself is killed (a CTest timeout).
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Inputs(html.parser.HTMLParser):
    """The named inputs' values of one form of a page (by the form's id)."""

    def __init__(self, form_id):
        super().__init__()
        self.form_id, self.inside, self.values = form_id, False, {}

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "form" and a.get("id") == self.form_id:
            self.inside = True
        elif tag == "input" and self.inside and a.get("name"):
            if a.get("type") not in ("radio", "checkbox") or "checked" in a:
                self.values[a["name"]] = a.get("value") or ""

    def handle_endtag(self, tag):
        if tag == "form":
            self.inside = False


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


class Site:
    """The data set, its accounts, the running quil-web and the browser."""

    def __init__(self):
        self.cleanups = []
        self.work = tempfile.mkdtemp(prefix="quil-web-test-")
        self.cleanups.append(lambda: shutil.rmtree(self.work, ignore_errors=True))
        self.log_lines = []
        self.web = None
        self.browser = None
        self.shots = os.environ.get("QUIL_WEB_SCREENSHOTS", "")

    def close(self):
        while self.cleanups:
            step = self.cleanups.pop()
            try:
                step()
            except Exception as e:  # every cleanup runs, whatever the one before did
                print(f"cleanup: {e}", file=sys.stderr)

    # -- The data set ---------------------------------------------------------------------
    @staticmethod
    def as_role(role):
        """The environment of a client that acts as `role` (libpq's PGOPTIONS)."""
        return dict(os.environ, PGOPTIONS=f"-c role={role}") if role else None

    def psql(self, sql, db=None, role=None):
        out = subprocess.run(
            [self.psql_program, "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1",
             "-h", self.socket, "-p", "5432", "-U", "quil_test", "-d", db or self.db, "-c", sql],
            capture_output=True, text=True, timeout=30, env=self.as_role(role))
        if out.returncode != 0:
            raise RuntimeError(f"psql {sql!r}: {out.stderr.strip()}")
        return out.stdout.strip()

    def conninfo(self, user="quil_test"):
        return f"host={self.socket} port=5432 dbname={self.db} user={user}"

    def tool(self, *args, stdin="", role=None):
        out = subprocess.run([self.tool_program, "--server", self.conninfo(), *args],
                             input=stdin, capture_output=True, text=True, timeout=60,
                             env=self.as_role(role))
        if out.returncode != 0:
            raise RuntimeError(f"quil-tool {' '.join(args)}: {out.stderr.strip()}")
        return out.stdout

    def make_data_set(self):
        state = env_path("QUIL_TEST_PG_STATE")
        with open(state, encoding="utf-8") as f:
            self.socket = f.readline().strip()
        self.psql_program = find_program("psql")
        self.tool_program = env_path("QUIL_TOOL")
        suffix = f"{os.getpid()}_{secrets.token_hex(3)}"
        self.db = f"quil_web_{suffix}"
        self.psql(f"CREATE DATABASE {self.db}", db="postgres")
        # The data set's own roles belong to the cluster: dropped after the database.
        self.cleanups.append(lambda: self.psql(
            "DO $$ DECLARE r text; BEGIN FOR r IN SELECT rolname FROM pg_roles "
            f"WHERE starts_with(rolname, 'quil_{self.db}_') LOOP "
            "EXECUTE format('DROP ROLE %I', r); END LOOP; END $$", db="postgres"))
        self.cleanups.append(
            lambda: self.psql(f"DROP DATABASE IF EXISTS {self.db} WITH (FORCE)", db="postgres"))
        data = os.path.join(self.work, "data")
        subprocess.run([sys.executable, env_path("QUIL_SAMPLE_DATA"), data], check=True)
        self.tool("server", "init")
        self.tool("server", "push", data + "/")
        # A detector: a check is refused without one.
        self.detector = int(self.psql(
            "INSERT INTO quil_alcohol_detector (name, serial) VALUES ('検知器A', 'SN-1') "
            "RETURNING id"))
        # Roles belong to the cluster: a name of this run only, dropped at the end. (It is
        # no office account, so that the other suites' account lists do not see it.)
        self.service = f"quil_web_svc_{suffix}"
        self.office = self.psql("SELECT quote_ident(quil_group('clerk'))")
        web_group = self.psql("SELECT quote_ident(quil_group('web'))")
        self.psql(f"CREATE ROLE {self.service} LOGIN IN ROLE {web_group}")
        self.cleanups.append(lambda: self.psql(f"DROP ROLE IF EXISTS {self.service}",
                                               db="postgres"))
        self.tool("server", "driver-add", "taro", "山田太郎", stdin=FIRST_PASSWORD + "\n")
        self.tool("server", "driver-add", "hanako", "佐藤花子", stdin=FIRST_PASSWORD + "\n")

    def count(self, table):
        return int(self.psql(f"SELECT count(*) FROM {table}"))

    # -- quil-web -------------------------------------------------------------------------
    def start_web(self):
        program = env_path("QUIL_WEB")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        config = os.path.join(self.work, "quil-web.conf")
        with open(config, "w", encoding="utf-8") as f:
            f.write(f"# quil-web for the browser test\n"
                    f"listen = 127.0.0.1\nport = {self.port}\n"
                    f"conninfo = {self.conninfo(self.service)}\n"
                    # Chromium keeps Secure cookies on http://localhost: the default stays.
                    f"secure_cookie = true\nthreads = 4\nidle_minutes = 30\n"
                    # Every request of the test comes from one address.
                    f"requests_per_minute = 100000\n"
                    # A zone where the day's times the forms send have passed.
                    f"time_zone = {EVENING_ZONE}\n")
        self.web = subprocess.Popen([program, "--config", config], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, encoding="utf-8",
                                    preexec_fn=die_with_parent)
        self.cleanups.append(self.stop_web)
        listening = threading.Event()

        def read_log():
            for line in self.web.stderr:
                self.log_lines.append(line.rstrip("\n"))
                if line.startswith("quil-web: ") and "で待ち受けています" in line:
                    listening.set()

        threading.Thread(target=read_log, daemon=True).start()
        deadline = time.monotonic() + 20
        while not listening.wait(0.1):
            if self.web.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("quil-web did not start:\n" + "\n".join(self.log_lines))
        # http://localhost is a secure context for Chromium (Secure cookies over plain HTTP).
        self.base = f"http://localhost:{self.port}"

    def stop_web(self):
        """SIGTERM; the exit status (0 for a clean stop)."""
        if self.web is None:
            return None
        if self.web.poll() is None:
            self.web.send_signal(signal.SIGTERM)
            try:
                self.web.wait(15)
            except subprocess.TimeoutExpired:
                self.web.kill()
                self.web.wait()
                return "killed"
        return self.web.returncode

    # -- The browser ----------------------------------------------------------------------
    def start_browser(self):
        options = webdriver.ChromeOptions()
        options.binary_location = find_program("chromium", "/usr/bin/chromium")
        profile = os.path.join(self.work, "chromium")
        for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                  "--no-first-run", "--disable-extensions", "--lang=ja-JP",
                  f"--user-data-dir={profile}", f"--window-size={PHONE[0]},{PHONE[1]}"):
            options.add_argument(a)
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": PHONE[0], "height": PHONE[1], "pixelRatio": 2,
                              "touch": True}})
        # A Japanese phone's Accept-Language.
        options.add_experimental_option("prefs", {"intl.accept_languages": "ja-JP,ja"})
        service = Service(find_program("chromedriver", "/usr/bin/chromedriver"))
        self.browser = webdriver.Chrome(service=service, options=options)
        self.browser.set_page_load_timeout(30)
        self.cleanups.append(self.browser.quit)

    def shot(self, name):
        """The phone's screen as docs' picture NAME.png (only when pictures are asked for)."""
        if self.shots:
            self.browser.execute_script(
                "document.activeElement && document.activeElement.blur(); window.scrollTo(0, 0)")
            with open(os.path.join(self.shots, name + ".png"), "wb") as f:
                f.write(self.browser.get_screenshot_as_png())

    # -- Plain HTTP, for what a browser does not show (status codes, raw bytes) ------------
    def http(self, method, path, session=None, form=None):
        data = urllib.parse.urlencode(form).encode() if form is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method)
        if session:
            request.add_header("Cookie", f"quil_session={session}")
        opener = urllib.request.build_opener(NoRedirect)
        try:
            with opener.open(request, timeout=30) as r:
                return r.status, r.headers, r.read().decode("utf-8")
        except urllib.error.HTTPError as e:
            return e.code, e.headers, e.read().decode("utf-8", "replace")


site = None


def setUpModule():
    global site
    site = Site()
    unittest.addModuleCleanup(site.close)
    site.make_data_set()
    site.start_web()
    site.start_browser()


def evening_zone():
    """A zone of the database (Etc/GMT-N is N hours east) where it is now 19:00-22:59, and
    its offset from UTC in hours."""
    now = datetime.datetime.now(datetime.timezone.utc)
    for east in range(-12, 15):
        if 19 <= (now + datetime.timedelta(hours=east)).hour <= 22:
            return f"Etc/GMT{'-' if east > 0 else '+'}{abs(east)}", east
    return "UTC", 0


EVENING_ZONE, EVENING_EAST = evening_zone()

# Every refused login's answer: a wrong password, an unknown name, a locked login.
REFUSED = ("ログイン名またはパスワードが違います。"
           "失敗が続いたときは、しばらくたってからやり直してください。")


def today():
    """The service's today (its zone's)."""
    return (datetime.datetime.now(datetime.timezone.utc)
            + datetime.timedelta(hours=EVENING_EAST)).date()


class DriversPage(unittest.TestCase):
    """The cases run in their numbered order: later ones use the accounts earlier ones set up
    (passwords changed, records stored)."""

    passwords = {"taro": "taro-new-password-2", "hanako": "hanako-new-password-2"}
    stored = {}

    # -- Helpers --------------------------------------------------------------------------
    @property
    def b(self):
        return site.browser

    def go(self, path):
        self.b.get(site.base + path)

    def path(self):
        return urllib.parse.urlsplit(self.b.current_url).path

    def by_id(self, element_id):
        return self.b.find_element(By.ID, element_id)

    def fill(self, form_id, values):
        form = self.by_id(form_id)
        for name, value in values.items():
            fields = form.find_elements(By.NAME, name)
            self.assertTrue(fields, f"no field {name} in #{form_id}")
            field = fields[0]
            kind = (field.get_attribute("type") or "").lower()
            if field.tag_name == "select":
                Select(field).select_by_value(str(value))
            elif kind == "radio":
                choice = [f for f in fields if f.get_attribute("value") == value]
                self.assertTrue(choice, f"no choice {value} of {name}")
                self.b.execute_script("arguments[0].scrollIntoView()", choice[0])
                choice[0].click()
            elif kind in ("date", "time", "number"):
                # Typing into a date or time input depends on the browser's locale.
                self.b.execute_script("arguments[0].value = arguments[1]", field, value)
            else:
                field.clear()
                field.send_keys(value)

    def submit(self, form_id):
        button = self.by_id(form_id).find_element(By.ID, "submit") \
            if self.by_id(form_id).find_elements(By.ID, "submit") else self.by_id("submit")
        self.click_to_page(button)

    def click_to_page(self, element):
        """Clicks a link or button and waits until the next page has replaced this one."""
        # A mark on this page's window: gone once another page is loaded.
        self.b.execute_script("window.quilOldPage = true; arguments[0].scrollIntoView()", element)
        element.click()
        WebDriverWait(self.b, 15).until(lambda b: b.execute_script(
            "return window.quilOldPage === undefined && document.readyState === 'complete'"))

    def log_in(self, login, password, shot=None):
        self.b.delete_all_cookies()
        self.go("/login")
        if shot:
            site.shot(shot)
        self.fill("login-form", {"login": login, "password": password})
        self.submit("login-form")

    def log_in_ready(self, login):
        """Logged in with the changed password, at home."""
        self.log_in(login, self.passwords[login])
        self.assertEqual(self.path(), "/", self.b.page_source[:2000])

    def change_first_password(self, login):
        """The forced change on /password, from the first password to the driver's own."""
        form = self.b.find_element(By.XPATH, "//form[.//input[@name='current']]")
        for name, value in (("current", FIRST_PASSWORD), ("password", self.passwords[login]),
                            ("password2", self.passwords[login])):
            field = form.find_element(By.NAME, name)
            field.clear()
            field.send_keys(value)
        self.click_to_page(
            form.find_element(By.CSS_SELECTOR, "button[type=submit], input[type=submit]"))

    def session(self):
        cookie = self.b.get_cookie("quil_session")
        self.assertIsNotNone(cookie, "no session cookie")
        return cookie["value"]

    def check_values(self, **changes):
        values = {"timing": "before", "date": today().isoformat(), "time": "07:30",
                  "vehicle": str(VEHICLE), "method": "face", "checker": "鈴木一郎",
                  "detector": str(site.detector), "reading": "0.00", "intoxicated": "no",
                  "instructions": "", "remarks": "点呼済み"}
        values.update(changes)
        return values

    def drive_values(self, **changes):
        values = {"date": today().isoformat(), "start": "08:00", "end": "17:30",
                  "vehicle": str(VEHICLE), "odometer_start": "12400",
                  "odometer_end": "12460.5", "purpose": str(PURPOSE),
                  "destination": "本社", "remarks": "ウェブから"}
        values.update(changes)
        return values

    def saved_id(self, kind):
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.b.current_url).query)
        saved = query.get("saved", [""])[0]
        self.assertRegex(saved, rf"^{kind}-\d+$", self.b.current_url)
        return int(saved.split("-")[1])

    def error_beside(self, field):
        """The refusal's message, checked to stand beside its field (same form, and the
        nearest error paragraph after the field in the page's order)."""
        message = self.by_id(f"error-{field}")
        following = self.b.execute_script(
            "const f = document.getElementsByName(arguments[0])[0];"
            "const all = [...document.querySelectorAll('p.error')];"
            "const after = all.filter(p => f.compareDocumentPosition(p) &"
            "  Node.DOCUMENT_POSITION_FOLLOWING);"
            "const before = all.filter(p => p.compareDocumentPosition(f) &"
            "  Node.DOCUMENT_POSITION_FOLLOWING);"
            "return [after.length ? after[0].id : '', before.length ? before.at(-1).id : '',"
            "  f.form ? f.form.contains(arguments[1]) : false];",
            field, message)
        self.assertIn(f"error-{field}", following[:2], "the message is not beside its field")
        self.assertTrue(following[2], "the message is outside the field's form")
        return message.text

    # -- The cases ------------------------------------------------------------------------
    def test_01_first_login_check_drive_listed_and_seen_by_the_office(self):
        self.log_in("Taro", FIRST_PASSWORD, shot="web-login")  # a phone capitalises
        self.assertEqual(self.path(), "/password", "the first password must be changed")
        cookie = self.b.get_cookie("quil_session")
        self.assertTrue(cookie["httpOnly"])
        self.assertTrue(cookie["secure"])
        self.assertEqual(cookie["sameSite"], "Strict")
        # Until it is changed, the other pages lead back to the change.
        self.go("/check")
        self.assertEqual(self.path(), "/password")
        self.change_first_password("taro")
        self.assertEqual(self.path(), "/")
        self.assertIn("山田太郎", self.b.find_element(By.TAG_NAME, "h1").text)
        site.shot("web-home")

        # A check before the drive.
        self.click_to_page(self.by_id("go-check"))
        self.assertEqual(self.path(), "/check")
        self.fill("check-form", self.check_values())
        site.shot("web-check")
        self.submit("check-form")
        self.assertEqual(self.path(), "/records")
        check_id = self.saved_id("check")
        self.assertTrue(self.by_id("notice").text)

        # The drive.
        self.go("/")
        self.click_to_page(self.by_id("go-drive"))
        self.assertEqual(self.path(), "/drive")
        self.fill("drive-form", self.drive_values())
        site.shot("web-drive")
        self.submit("drive-form")
        drive_id = self.saved_id("drive")
        DriversPage.stored.update(check=check_id, drive=drive_id)

        # Both listed, each with a link to itself.
        checks = self.b.find_elements(By.CSS_SELECTOR, "#checks tr.row")
        drives = self.b.find_elements(By.CSS_SELECTOR, "#drives tr.row")
        self.assertEqual(len(checks), 1)
        self.assertEqual(len(drives), 1)
        self.assertTrue(checks[0].find_elements(By.CSS_SELECTOR, f"a[href$='/check/{check_id}']"))
        self.assertTrue(drives[0].find_elements(By.CSS_SELECTOR, f"a[href$='/drive/{drive_id}']"))
        self.assertIn("60.5 km", drives[0].text)
        site.shot("web-records")
        self.go(f"/check/{check_id}")
        record = self.by_id("record").text
        for shown in ("鈴木一郎", "点呼済み", "検知器A"):
            self.assertIn(shown, record)
        self.go(f"/drive/{drive_id}")
        record = self.by_id("record").text
        for shown in ("本社", "ウェブから", "配達", "08:00", "17:30"):
            self.assertIn(shown, record)

        # The office's side: the check in the register's table, the drive in the records,
        # read with the office's role.
        row = site.psql(
            "SELECT driver, vehicle, timing, checker, method, detector, intoxicated, remarks "
            f"FROM quil_alcohol_check WHERE id = {check_id} AND NOT deleted", role=site.office)
        self.assertEqual(row.split("|"), [str(DRIVER_TARO), str(VEHICLE), "0", "鈴木一郎", "0",
                                          str(site.detector), "f", "点呼済み"])
        csv = site.tool("export-csv", "--kind", "driving", "--encoding", "utf-8",
                        role=site.office)
        ours = [line for line in csv.splitlines() if "ウェブから" in line]
        self.assertEqual(len(ours), 1, csv)
        self.assertIn(today().strftime("%Y/%m/%d") + ",08:00 ～ 17:30,営業車１号,山田太郎,配達,"
                      "12400.0,12460.5,60.5,本社,ウェブから", ours[0])

    def test_02_wrong_password_is_refused_with_a_message(self):
        self.log_in("taro", "not-the-password")
        self.assertEqual(self.path(), "/login")
        self.assertEqual(self.by_id("error-login").text, REFUSED)
        self.assertIsNone(self.b.get_cookie("quil_session"))
        # An unknown login gets the very same message.
        self.log_in("nobody", "not-the-password")
        self.assertEqual(self.by_id("error-login").text, REFUSED)
        # The right password still works (one failure does not lock).
        self.log_in_ready("taro")

    def test_03_an_expired_login_leads_back_to_the_login_page(self):
        self.log_in_ready("taro")
        self.go("/records")
        self.assertEqual(self.path(), "/records")
        site.psql("UPDATE quil_web_session SET last_seen = last_seen - interval '31 minutes' "
                  "WHERE account = (SELECT id FROM quil_web_account WHERE login = 'taro')")
        self.go("/records")
        self.assertEqual(self.path(), "/login")
        self.go("/check")
        self.assertEqual(self.path(), "/login")
        self.log_in_ready("taro")

    def test_04_a_post_without_its_csrf_token_is_refused_and_stores_nothing(self):
        self.log_in_ready("taro")
        session = self.session()
        status, _, page = site.http("GET", "/check", session)
        self.assertEqual(status, 200)
        hidden = Inputs("check-form")
        hidden.feed(page)
        self.assertRegex(hidden.values.get("csrf", ""), r"^[0-9a-f]{64}$")
        self.assertRegex(hidden.values.get("key", ""), r"^[0-9a-f]{32}$")
        form = self.check_values(remarks="CSRF の確認")
        form["key"] = hidden.values["key"]
        before = site.count("quil_alcohol_check")
        for csrf in (None, "", "0" * 64, hidden.values["csrf"][:-1] + "x"):
            sent = dict(form) if csrf is None else dict(form, csrf=csrf)
            status, _, page = site.http("POST", "/check", session, sent)
            self.assertEqual(status, 403, f"csrf={csrf!r}")
            self.assertNotIn("CSRF の確認", page)
        # Without a session, a post leads to the login page.
        status, headers, _ = site.http("POST", "/check", None,
                                       dict(form, csrf=hidden.values["csrf"]))
        self.assertEqual(status, 303)
        self.assertTrue(headers["Location"].endswith("/login"))
        # Without its save key, a post with the right token stores nothing either.
        status, _, _ = site.http("POST", "/check", session,
                                 dict(self.check_values(remarks="CSRF の確認"),
                                      csrf=hidden.values["csrf"]))
        self.assertEqual(status, 400)
        self.assertEqual(site.count("quil_alcohol_check"), before)
        self.assertEqual(int(site.psql(
            "SELECT count(*) FROM quil_alcohol_check WHERE remarks = 'CSRF の確認'")), 0)
        # The login form has its own token (a cookie and the same value in the form): a login
        # posted without them is refused and not even counted as an attempt.
        attempts = site.count("quil_web_login_attempt")
        status, _, _ = site.http("POST", "/login", None,
                                 {"login": "taro", "password": self.passwords["taro"]})
        self.assertEqual(status, 403)
        self.assertEqual(site.count("quil_web_login_attempt"), attempts)
        # The same form with its token is stored, once even when posted twice.
        sent = dict(form, csrf=hidden.values["csrf"])
        first = site.http("POST", "/check", session, sent)
        second = site.http("POST", "/check", session, sent)
        self.assertEqual(first[0], 303)
        self.assertEqual(second[0], 303)
        self.assertEqual(first[1]["Location"], second[1]["Location"])
        self.assertEqual(site.count("quil_alcohol_check"), before + 1)

    def test_05_another_drivers_record_is_not_found(self):
        self.log_in("hanako", FIRST_PASSWORD)
        self.assertEqual(self.path(), "/password")
        self.change_first_password("hanako")
        self.assertEqual(self.path(), "/")
        self.assertIn("佐藤花子", self.b.find_element(By.TAG_NAME, "h1").text)
        session = self.session()
        taro_check, taro_drive = self.stored["check"], self.stored["drive"]
        for path in (f"/check/{taro_check}", f"/drive/{taro_drive}", f"/check/{taro_drive}",
                     "/check/999999", "/drive/abc", f"/check/{taro_check}x"):
            status, _, page = site.http("GET", path, session)
            self.assertEqual(status, 404, path)
            self.assertNotIn("鈴木一郎", page)
            self.assertNotIn("本社", page)
        self.go(f"/check/{taro_check}")
        self.assertFalse(self.b.find_elements(By.ID, "record"))
        # Her list holds none of his.
        self.go("/records")
        self.assertFalse(self.b.find_elements(By.CSS_SELECTOR, "#checks tr.row"))
        self.assertFalse(self.b.find_elements(By.CSS_SELECTOR, "#drives tr.row"))
        # His own record is there for him.
        self.log_in_ready("taro")
        status, _, page = site.http("GET", f"/check/{taro_check}", self.session())
        self.assertEqual(status, 200)
        self.assertIn("鈴木一郎", page)

    def test_06_injection_strings_are_stored_and_shown_literally(self):
        self.log_in_ready("taro")
        self.go("/check")
        self.fill("check-form", self.check_values(checker=SQL_INJECTION, remarks=HTML_INJECTION,
                                                  time="18:10", timing="after"))
        self.submit("check-form")
        check_id = self.saved_id("check")
        self.go("/drive")
        self.fill("drive-form", self.drive_values(destination=HTML_INJECTION,
                                                  remarks=SQL_INJECTION, start="18:20",
                                                  end="18:40", odometer_start="12460.5",
                                                  odometer_end="12470"))
        self.submit("drive-form")
        drive_id = self.saved_id("drive")
        with self.assertRaises(NoAlertPresentException):
            self.b.switch_to.alert.text
        for path in (f"/check/{check_id}", f"/drive/{drive_id}", "/records"):
            self.go(path)
            with self.assertRaises(NoAlertPresentException):
                self.b.switch_to.alert.text
            self.assertEqual(self.b.find_elements(By.TAG_NAME, "script"), [], path)
            status, _, raw = site.http("GET", path, self.session())
            self.assertEqual(status, 200)
            self.assertNotIn(HTML_INJECTION, raw, path)
            if path != "/records":  # the list shows no remarks or destinations
                self.assertIn(HTML_INJECTION, self.by_id("record").text, path)
                self.assertIn("&lt;script&gt;alert(1)&lt;/script&gt;", raw, path)
        self.go(f"/check/{check_id}")
        self.assertIn(SQL_INJECTION, self.by_id("record").text)
        # Stored as typed, and the tables are all still there.
        self.assertEqual(site.psql(
            f"SELECT checker || '|' || remarks FROM quil_alcohol_check WHERE id = {check_id}"),
            SQL_INJECTION + "|" + HTML_INJECTION)
        for table in ("quil_records", "quil_alcohol_check", "quil_items", "quil_web_account"):
            self.assertEqual(site.psql(f"SELECT to_regclass('{table}') IS NOT NULL"), "t")
        csv = site.tool("export-csv", "--kind", "driving", "--encoding", "utf-8",
                        role=site.office)
        self.assertIn(HTML_INJECTION, csv)
        self.assertIn(SQL_INJECTION, csv)

    def test_07_too_long_and_future_entries_are_refused_beside_the_field(self):
        self.log_in_ready("taro")
        checks, records = site.count("quil_alcohol_check"), site.count("quil_records")
        tomorrow = (today() + datetime.timedelta(days=1)).isoformat()

        self.go("/check")
        self.fill("check-form", self.check_values(date=tomorrow, remarks="未来の確認"))
        self.submit("check-form")
        self.assertEqual(self.path(), "/check")
        self.assertEqual(self.error_beside("date"), "明日以降の日付は入力できません。")
        # What was typed is kept.
        self.assertEqual(self.b.find_element(By.NAME, "remarks").get_attribute("value"),
                         "未来の確認")
        site.shot("web-refusal")

        self.go("/check")
        self.fill("check-form", self.check_values(checker="確" * 300))
        self.submit("check-form")
        self.assertTrue(self.error_beside("checker"))

        self.go("/drive")
        self.fill("drive-form", self.drive_values(destination="あ" * 41, remarks="長すぎる行き先"))
        self.submit("drive-form")
        self.assertEqual(self.path(), "/drive")
        self.assertTrue(self.error_beside("destination"))
        self.assertEqual(self.b.find_element(By.NAME, "remarks").get_attribute("value"),
                         "長すぎる行き先")

        self.go("/drive")
        self.fill("drive-form", self.drive_values(date=tomorrow))
        self.submit("drive-form")
        self.assertTrue(self.error_beside("date"))

        self.assertEqual(site.count("quil_alcohol_check"), checks)
        self.assertEqual(site.count("quil_records"), records)

    def test_08_five_failures_lock_the_login(self):
        for _ in range(5):
            self.log_in("hanako", "wrong-password-9")
            self.assertEqual(self.path(), "/login")
            self.assertTrue(self.by_id("error-login").text)
        # Now even the right password is refused from this address, with the answer of a
        # wrong one (a stranger learns nothing of the lock).
        self.log_in("hanako", self.passwords["hanako"])
        self.assertEqual(self.path(), "/login")
        self.assertEqual(self.by_id("error-login").text, REFUSED)
        self.assertIsNone(self.b.get_cookie("quil_session"))
        self.assertEqual(site.psql(
            "SELECT count(*) >= 5 FROM quil_web_login_attempt "
            "WHERE login = 'hanako' AND NOT succeeded"), "t")
        # Another driver is not locked out by it.
        self.log_in_ready("taro")

    def test_09_logging_out_ends_the_session(self):
        self.log_in_ready("taro")
        session = self.session()
        self.click_to_page(self.by_id("logout"))
        self.assertEqual(self.path(), "/login")
        self.go("/")
        self.assertEqual(self.path(), "/login")
        status, headers, _ = site.http("GET", "/records", session)
        self.assertEqual(status, 303)
        self.assertTrue(headers["Location"].endswith("/login"))

    def test_09a_every_page_is_small_and_carries_the_safety_headers(self):
        self.log_in_ready("taro")
        session = self.session()
        pages = ["/", "/check", "/drive", "/records", "/password",
                 f"/check/{self.stored['check']}", f"/drive/{self.stored['drive']}"]
        for path in ["/login"] + pages:
            status, headers, page = site.http("GET", path, None if path == "/login" else session)
            self.assertEqual(status, 200, path)
            self.assertLessEqual(len(page.encode("utf-8")), 100 * 1024, path)
            self.assertIn("default-src 'none'", headers.get("Content-Security-Policy", ""), path)
            self.assertIn("frame-ancestors 'none'", headers["Content-Security-Policy"], path)
            self.assertEqual(headers.get("X-Frame-Options"), "DENY", path)
            self.assertEqual(headers.get("X-Content-Type-Options"), "nosniff", path)
            if path in pages:
                self.assertIn("no-store", headers.get("Cache-Control", ""), path)

    def test_09b_the_licence_and_a_lapsed_vehicle_are_warned_of_before_a_drive(self):
        """The menu shows the licence's expiry with a warning from 30 days before; a drive
        with a vehicle whose 車検 lapsed shows the warning and is stored on the second send."""
        soon = today() + datetime.timedelta(days=10)
        lapsed = today() - datetime.timedelta(days=5)
        day = lambda d: (d - datetime.date(1899, 12, 30)).days
        site.psql("INSERT INTO quil_driver_licence (driver, number, expiry) "
                  f"VALUES ({DRIVER_TARO}, '123456789012', {day(soon)})")
        truck = 1  # 軽トラック
        site.psql(f"INSERT INTO quil_vehicle_paper (vehicle, kind, expiry) VALUES ({truck}, 0, "
                  f"{day(lapsed)})")
        self.log_in_ready("taro")
        self.assertIn(soon.strftime("%Y/%m/%d"), self.by_id("licence").text)
        self.assertIn("あと 10 日", self.by_id("licence-warning").text)
        self.assertNotIn("123456789012", self.b.page_source)
        before = site.count("quil_records")
        self.go("/drive")
        self.fill("drive-form", self.drive_values(vehicle=str(truck), start="06:00", end="07:00",
                                                  odometer_start="9000", odometer_end="9020",
                                                  remarks="車検切れ"))
        self.submit("drive-form")
        self.assertEqual(self.path(), "/drive")
        self.assertIn(f"車検の有効期限（{lapsed.strftime('%Y/%m/%d')}）が過ぎています。",
                      self.by_id("vehicle-warning").text)
        self.assertEqual(site.count("quil_records"), before)
        self.submit("drive-form")
        self.saved_id("drive")
        self.assertEqual(site.count("quil_records"), before + 1)

    def test_10_the_server_stops_cleanly(self):
        self.assertEqual(site.stop_web(), 0, "\n".join(site.log_lines))


if __name__ == "__main__":
    unittest.main(verbosity=2, failfast=False)
