"""The built site in a real browser: headless Chromium, driven by Selenium."""

from __future__ import annotations

import functools
import http.server
import pathlib
import shutil
import tempfile
import threading
from collections.abc import Iterator

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

# A machine with no network: Chromium must not try to reach its services.
CHROMIUM_FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--disable-quic",
                  "--no-first-run", "--disable-background-networking", "--disable-component-update",
                  "--disable-sync", "--window-size=1280,900"]


@pytest.fixture(scope="module")
def base_url(site: pathlib.Path) -> Iterator[str]:
    """The site served on a free port of the loopback interface, as a web server would serve it."""
    handler = functools.partial(QuietHandler, directory=str(site))
    with http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler) as server:
        threading.Thread(target=server.serve_forever, daemon=True).start()
        yield f"http://127.0.0.1:{server.server_address[1]}"
        server.shutdown()


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format: str, *args: object) -> None:
        pass


@pytest.fixture(scope="module")
def browser() -> Iterator[webdriver.Chrome]:
    profile = tempfile.mkdtemp(prefix="ovpi-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in [*CHROMIUM_FLAGS, f"--user-data-dir={profile}"]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(options=options, service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"))
    try:
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def test_the_landing_page_renders_without_console_errors(browser: webdriver.Chrome, base_url: str,
                                                         request: pytest.FixtureRequest) -> None:
    browser.get(f"{base_url}/index.html")
    assert browser.find_element(By.TAG_NAME, "h1").text.startswith("ovpi")
    assert "create_instance" in browser.find_element(By.CSS_SELECTOR, "article").text
    errors = [entry for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == []
    screenshot: pathlib.Path | None = request.config.getoption("--screenshot")
    if screenshot is not None:
        screenshot.parent.mkdir(parents=True, exist_ok=True)
        assert browser.save_screenshot(str(screenshot))


def test_the_search_finds_factorial(browser: webdriver.Chrome, base_url: str) -> None:
    browser.get(f"{base_url}/search.html?q=factorial")
    results = WebDriverWait(browser, 20).until(
        lambda driver: driver.find_elements(By.CSS_SELECTOR, "ul.search li a") or None)
    assert any("factorial" in link.text for link in results)
    errors = [entry for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == []


def test_the_picture_of_an_instance_s_life_shows(browser: webdriver.Chrome, base_url: str) -> None:
    browser.get(f"{base_url}/guide/instances.html")
    picture = browser.find_element(By.CSS_SELECTOR, "div.graphviz img, div.graphviz object")
    assert picture.is_displayed()
    width, height = picture.size["width"], picture.size["height"]
    assert width > 200 and height > 200, picture.size
    source = picture.get_attribute("src") or picture.get_attribute("data") or ""
    assert source.endswith(".svg")
    loaded = browser.execute_script(
        "const e = arguments[0]; return e.tagName === 'IMG' ? e.complete && e.naturalWidth > 0 : true;", picture)
    assert loaded
