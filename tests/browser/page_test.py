#!/usr/bin/python3
"""The page in a real browser: headless Chromium records the bundled English
sample from a fake microphone, the page sends it to a running `kedo serve`,
and the score and the coloured words appear; an unreadable upload is refused
on the page, a good one assessed, and a refused microphone is said clearly.
Saves a screenshot.

Usage: page_test.py KEDO_BINARY SOURCE_DIR SCREENSHOT.png
"""
import os
import re
import shutil
import signal
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from kedo_serve import start_service  # noqa: E402

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

SENTENCE = "i like to read a good book"


def browser(work, wav, microphone=True):
    opts = webdriver.ChromeOptions()
    opts.binary_location = "/usr/bin/chromium"
    if not microphone:
        # The user says no to the microphone.
        opts.add_experimental_option("prefs", {"profile.default_content_setting_values.media_stream_mic": 2})
        wav = ""
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--autoplay-policy=no-user-gesture-required",
                 "--use-fake-device-for-media-stream",
                 "--user-data-dir=" + os.path.join(work, "profile" if microphone else "profile-nomic"),
                 "--window-size=1100,1150"]:
        opts.add_argument(flag)
    if microphone:
        opts.add_argument("--use-fake-ui-for-media-stream")
        opts.add_argument("--use-file-for-fake-audio-capture=" + wav + "%noloop")
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=opts)


def main():
    kedo, source, shot = sys.argv[1:4]
    data = os.path.join(source, "tests", "data", "toy", "kedoData")
    wav = os.path.join(data, "samples", "english.wav")
    work = tempfile.mkdtemp(prefix="kedo-page-")
    proc, port, log = start_service(kedo, source, work)
    driver = None
    try:
        driver = browser(work, wav)
        driver.get("http://127.0.0.1:%d/" % port)
        wait = WebDriverWait(driver, 60)
        sentence = driver.find_element(By.ID, "sentence")
        sentence.clear()
        sentence.send_keys(SENTENCE)
        driver.find_element(By.ID, "record").click()
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-state") == "recording")
        time.sleep(3.2)  # the sample is 2.5 s long
        driver.find_element(By.ID, "record").click()
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-state") in ("done", "error"))
        status = driver.find_element(By.ID, "status").text
        state = driver.find_element(By.TAG_NAME, "body").get_attribute("data-state")
        assert state == "done", "the page shows an error: " + status
        score = int(driver.find_element(By.ID, "score").text)
        words = driver.find_elements(By.CSS_SELECTOR, "#words .word")
        texts = [w.text for w in words]
        classes = [w.get_attribute("class") for w in words]
        colours = [w.value_of_css_property("background-color") for w in words]
        time.sleep(0.3)  # the chart is drawn after the audio is decoded
        driver.save_screenshot(shot)
        print("score", score, "words", texts, "classes", classes)
        assert texts == SENTENCE.split(), texts
        assert 50 <= score <= 100, score
        assert all(re.fullmatch(r"word (good|fair|poor)", c) for c in classes), classes
        assert all(c not in ("", "rgba(0, 0, 0, 0)") for c in colours), colours
        assert driver.execute_script("return document.getElementById('playback').src.startsWith('blob:')")
        # Without the microphone: the upload road, and a refusal shown clearly.
        driver.find_element(By.ID, "file").send_keys(os.path.join(data, "samples", "english.txt"))
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-state") == "error")
        message = driver.find_element(By.ID, "status").text
        assert "english.txt" in message, message
        driver.find_element(By.ID, "file").send_keys(wav)
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-state") == "done")
        driver.quit()
        # A refused microphone is said clearly.
        driver = browser(work, wav, microphone=False)
        driver.get("http://127.0.0.1:%d/" % port)
        driver.find_element(By.ID, "record").click()
        status = driver.find_element(By.ID, "status")
        WebDriverWait(driver, 30).until(lambda d: "refused" in status.text)
        assert "error" in status.get_attribute("class"), status.get_attribute("class")
        assert "upload" in status.text, status.text
        print("page test passed")
    finally:
        if driver is not None:
            driver.quit()
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=30)
        log.seek(0)
        requests = [l for l in log.read().splitlines() if '"POST /api/assess"' in l]
        shutil.rmtree(work, ignore_errors=True)
    assert len(requests) == 3, requests
    assert proc.returncode == 0, proc.returncode


if __name__ == "__main__":
    main()
