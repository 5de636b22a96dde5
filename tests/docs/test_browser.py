"""The built site in a real browser: headless Chromium, driven by Selenium."""

from __future__ import annotations

import functools
import http.server
import pathlib
import re
import shutil
import tempfile
import threading
from collections.abc import Iterator

import pytest
from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

# A machine with no network: Chromium must not try to reach its services.
CHROMIUM_FLAGS = [
    "--headless=new",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-dev-shm-usage",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--window-size=1280,900",
]


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


def test_the_landing_page_renders_without_console_errors(browser: webdriver.Chrome, base_url: str) -> None:
    browser.get(f"{base_url}/index.html")
    assert browser.find_element(By.TAG_NAME, "h1").text.startswith("ovpi")
    assert "create_instance" in browser.find_element(By.CSS_SELECTOR, "article").text
    errors = [entry for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == []


# What a page must hold in the browser, each a script returning a list of
# what is wrong (empty when all is well).
TOO_WIDE_CODE = """return [...document.querySelectorAll("article div.highlight pre")]
    .filter(e => e.scrollWidth > e.clientWidth + 1).map(e => e.textContent.split("\\n")[0].slice(0, 60));"""
PAGE_OVERFLOWS = """const e = document.documentElement;
    return e.scrollWidth > e.clientWidth + 1 ? [`${e.scrollWidth} px wide in ${e.clientWidth}`] : [];"""
TOC_LINKS = "return document.querySelectorAll('.toc-tree a').length;"
TOC_HIGHLIGHT = "return document.querySelectorAll('.toc-tree .scroll-current').length;"


def problems_of(browser: webdriver.Chrome, url: str) -> list[str]:
    """What is wrong with the page at URL: console errors and warnings, code
    blocks that scroll sideways at 1280 px, an "On this page" table that
    does not follow a scroll, a page wider than a 390 px phone."""
    found: list[str] = []
    browser.set_window_size(1280, 900)
    browser.get(url)
    found += [
        f"console {entry['level']}: {entry['message']}"
        for entry in browser.get_log("browser")
        if entry["level"] in ("SEVERE", "WARNING")
    ]
    found += [f"code wider than its block: {line!r}" for line in browser.execute_script(TOO_WIDE_CODE)]
    if browser.execute_script(TOC_LINKS) > 1:
        browser.execute_script("window.scrollTo(0, document.documentElement.scrollHeight);")
        try:
            WebDriverWait(browser, 5).until(lambda driver: driver.execute_script(TOC_HIGHLIGHT) > 0)
        except TimeoutException:
            found.append("the 'On this page' table highlights nothing after a scroll")
        found += [
            f"console {entry['level']} after a scroll: {entry['message']}"
            for entry in browser.get_log("browser")
            if entry["level"] in ("SEVERE", "WARNING")
        ]
    browser.set_window_size(390, 844)
    browser.get(url)
    found += [f"at 390 px: {problem}" for problem in browser.execute_script(PAGE_OVERFLOWS)]
    browser.get_log("browser")  # what the phone-sized load logged was judged at 1280 px already
    return found


def test_every_page_opens_cleanly_at_desktop_and_phone_widths(
    browser: webdriver.Chrome, base_url: str, site: pathlib.Path
) -> None:
    browser.get_log("browser")
    pages = sorted(path.relative_to(site).as_posix() for path in site.rglob("*.html"))
    assert "guide/instances.html" in pages and "search.html" in pages
    problems = {page: found for page in pages if (found := problems_of(browser, f"{base_url}/{page}"))}
    assert problems == {}


@pytest.mark.parametrize("theme", ["light", "dark"])
def test_screenshots_of_the_home_page_and_a_guide_page(
    browser: webdriver.Chrome, base_url: str, theme: str, request: pytest.FixtureRequest
) -> None:
    folder: pathlib.Path | None = request.config.getoption("--screenshots")
    if folder is None:
        pytest.skip("no --screenshots folder given")
    folder.mkdir(parents=True, exist_ok=True)
    browser.set_window_size(1280, 900)
    for page in ("index", "guide/instances"):
        browser.get(f"{base_url}/{page}.html")
        browser.execute_script(f"localStorage.setItem('theme', '{theme}');")
        browser.refresh()
        assert browser.execute_script("return document.body.dataset.theme;") == theme
        assert browser.save_screenshot(str(folder / f"{page.replace('/', '-')}-{theme}.png"))


def test_the_search_finds_factorial(browser: webdriver.Chrome, base_url: str) -> None:
    browser.get(f"{base_url}/search.html?q=factorial")
    results = WebDriverWait(browser, 20).until(lambda driver: driver.find_elements(By.CSS_SELECTOR, "ul.search li a"))
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
        "const e = arguments[0]; return e.tagName === 'IMG' ? e.complete && e.naturalWidth > 0 : true;", picture
    )
    assert loaded


def test_the_pictures_have_no_background_of_their_own(site: pathlib.Path) -> None:
    # A white slab in dark mode otherwise: graphviz paints the graph's background first, before any node.
    pictures = sorted((site / "_images").glob("graphviz-*.svg"))
    assert len(pictures) == 2
    assert [p.name for p in pictures if 'fill="white"' in p.read_text().split('class="node"')[0]] == []
    # A picture's accessible name is its first <title>, the graph's name: a sentence, not one word.
    titles = [re.search(r"<title>([^<]*)</title>", p.read_text()) for p in pictures]
    assert [p.name for p, title in zip(pictures, titles, strict=True) if not title or len(title[1].split()) < 8] == []


def test_an_api_hit_in_the_search_gets_its_entry_s_snippet(browser: webdriver.Chrome, base_url: str) -> None:
    browser.get(f"{base_url}/search.html?q=fibonacci")
    summaries = WebDriverWait(browser, 20).until(
        lambda driver: driver.find_elements(By.CSS_SELECTOR, "ul.search li p.context")
    )
    assert any("F(n) for 0" in summary.text for summary in summaries)
    assert [entry["message"] for entry in browser.get_log("browser") if "not found" in entry["message"]] == []
